#pragma once
// The type letters a table may hold and their names.
namespace tabrix {

// One of "YCNFT@IMBO+DLPGQVW".
bool isKnownTypeLetter(char letter);
// The display name of a type letter; "Unknown" for letters outside the table.
const char* typeNameOf(char letter);
// The system field of Visual FoxPro that carries the null flags.
bool isNullFlagsName(const char* name);

}  // namespace tabrix
