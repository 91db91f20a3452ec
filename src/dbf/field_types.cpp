#include "dbf/field_types.h"

#include <strings.h>

#include <cstring>

namespace tabrix {

bool isKnownTypeLetter(char letter) {
  return letter != '\0' && std::strchr("YCNFT@IMBO+DLPGQVW", letter) != nullptr;
}

const char* typeNameOf(char letter) {
  switch (letter) {
    case 'C': return "Character";
    case 'N': return "Numeric";
    case 'D': return "Date";
    case 'L': return "Logical";
    case 'M': return "Memo";
    case 'Y': return "Currency";
    case 'F': return "Float";
    case 'B': return "Double";
    case 'I': return "Integer";
    case 'T': return "DateTime";
    case 'G': return "General";
    case 'P': return "Picture";
    case '+': return "Autoincrement";
    case '@': return "Timestamp";
    case 'O': return "Double";
    case 'Q': return "VARBINARY";
    case 'V': return "Varchar";
    default: return "Unknown";
  }
}

// Real Visual FoxPro tables spell it "_NullFlags", so case does not matter.
bool isNullFlagsName(const char* name) { return ::strcasecmp(name, "_NULLFLAGS") == 0; }

}  // namespace tabrix
