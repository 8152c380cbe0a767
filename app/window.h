// The velmora program with its windows.
#pragma once

struct options_type;

int window_main(int argc, char** argv, const options_type& options);   // returns the exit status
