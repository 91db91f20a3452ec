#pragma once
// The two book formats behind Book::create.
#include <memory>

#include "xl/book.h"

namespace tabrix::xl {

std::unique_ptr<Book> makeXlsBook();
std::unique_ptr<Book> makeXlsxBook();

}  // namespace tabrix::xl
