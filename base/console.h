// The program's console: standard output, written unbuffered so that every
// line is visible as soon as it is written.
#pragma once

extern int h_console;  // file descriptor of the console; -1 until first opened

void start_console();                   // opens the console unconditionally
void write_console(const char* text);   // writes text unchanged, opening the console first if needed
