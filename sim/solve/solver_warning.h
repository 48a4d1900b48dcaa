#pragma once
// Where a failed solve's one warning line goes: standard error, as a line of
// its own, unless a program sends it elsewhere (the window sends it through
// Qt's messages, where its start-up guard and its tests hear it).

// Takes the line without its newline.
using WarningSink = void (*)(const char* line);

// Sends every warning line from now on to sink; nullptr: standard error again.
// Set once, at the start of a program, before any solve.
void setWarningSink(WarningSink sink);

// Writes line through the sink.
void warn(const char* line);
