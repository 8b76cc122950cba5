#pragma once

// Identifiers of the program file's resources, shared by the resource script and the window.
// The lowest icon identifier is the one Explorer shows for the program file.

#define IDI_PROGRAM_ICON 1
