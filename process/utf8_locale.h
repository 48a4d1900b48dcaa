#pragma once

// Qt needs a UTF-8 character type: given another (the "C" locale of many
// containers, services and SSH sessions), Qt 6.8 switches the character type
// to C.UTF-8 and writes four lines of warning to stderr. This makes the same
// switch, quietly, before Qt looks. Call once, at the start of main, before
// the application object exists. Returns whether a switch was made.
bool useUtf8CharacterType();
