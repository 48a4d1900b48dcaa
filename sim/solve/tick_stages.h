#pragma once
// Where a tick's time goes: a program that profiles the tick (the benchmark)
// hears the end of each of its stages. Nobody listens by default, and then a
// stage's end costs one test of a pointer.

// Called with the name of the stage just ended ("advection", "viscosity", ...).
using StageListener = void (*)(const char* stage);

// Every tick from now on reports to listener; nullptr: none.
void setStageListener(StageListener listener);

// Reports the end of a stage to the listener, if any.
void stageEnded(const char* stage);
