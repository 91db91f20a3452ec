#include "xl/book_formats.h"

namespace tabrix::xl {

std::unique_ptr<Book> makeXlsxBook() { return nullptr; }

}  // namespace tabrix::xl
