// The program's console: standard output, written unbuffered so that every
// line is visible as soon as it is written.
#pragma once

extern int h_console;  // file descriptor of the console; -1 until first opened

void start_console();                   // opens the console unconditionally
void write_console(const char* text);   // writes text unchanged, opening the console first if needed

// Where a host that has its own console (the Python module: sys.stdout)
// takes the text instead; null for the file descriptor. It may be called
// from any thread and must not block on the host.
extern void (*console_sink)(const char* text);

// Where a host takes the notices the program says besides its lines (a
// file kept without what it cannot hold): Python raises them as warnings,
// which its own filters show or hide. Null: they are console lines.
extern void (*notice_sink)(const char* text);
