#include "xl/book_formats.h"

namespace tabrix::xl {

std::unique_ptr<Book> makeXlsBook() { return nullptr; }

}  // namespace tabrix::xl
