// The summarize command: a summary CSV of many runs and, on request, its chart.
#pragma once

struct options_type;

int summarize_main(int argc, char** argv, const options_type& options);  // returns the exit status
