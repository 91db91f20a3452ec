#pragma once
// Small files read and replaced as a whole.
#include <string>
#include <string_view>

#include "util/result.h"

namespace tabrix {

// The bytes of a regular file. A failure carries the system's text, or says
// that path is no regular file.
Result readWholeFile(const std::string& path, std::string& bytes);

// Makes bytes the content of path at once: they are written to a temporary
// file beside it, flushed to the disk and renamed over it, so a reader, a
// crash or a full disk never sees a half-written file; a failure leaves the
// old file whole and carries the system's text.
Result replaceWholeFile(const std::string& path, std::string_view bytes);

}  // namespace tabrix
