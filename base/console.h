// The program's console: standard output, written unbuffered so that every
// line is visible as soon as it is written.
#pragma once

extern int h_console;  // file descriptor of the console; -1 until first opened
// This thread writes nothing to the console: a quiet world run from a script,
// beside others that may not be.
extern thread_local bool console_muted;

void start_console();                   // opens the console unconditionally
void write_console(const char* text);   // writes text unchanged, opening the console first if needed
