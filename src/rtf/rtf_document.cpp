#include "rtf/rtf_document.h"
