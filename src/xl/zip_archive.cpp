#include "xl/zip_archive.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <new>

namespace tabrix::xl {
namespace {

std::string errorText(int code) {
  zip_error_t error{};
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

// A libzip source reading head, then a file's first bytes, then tail.
struct Pieces {
  std::string_view head, tail;
  std::FILE* body;
  uint64_t bodySize;
  uint64_t position = 0;
  zip_error_t error{};

  uint64_t size() const { return head.size() + bodySize + tail.size(); }

  int64_t read(char* out, uint64_t room) {
    uint64_t done = 0;
    while (done < room && position < size()) {
      if (position < head.size()) {
        const uint64_t n = std::min<uint64_t>(room - done, head.size() - position);
        std::copy_n(head.data() + position, n, out + done);
        done += n;
        position += n;
      } else if (position < head.size() + bodySize) {
        const uint64_t n = std::min<uint64_t>(room - done, head.size() + bodySize - position);
        const size_t got = std::fread(out + done, 1, n, body);
        if (got != n) {
          zip_error_set(&error, ZIP_ER_READ, std::ferror(body) ? errno : 0);
          return -1;
        }
        done += got;
        position += got;
      } else {
        const uint64_t at = position - head.size() - bodySize;
        const uint64_t n = std::min<uint64_t>(room - done, tail.size() - at);
        std::copy_n(tail.data() + at, n, out + done);
        done += n;
        position += n;
      }
    }
    return static_cast<int64_t>(done);
  }

  static zip_int64_t callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* self = static_cast<Pieces*>(state);
    switch (command) {
      case ZIP_SOURCE_OPEN:
        self->position = 0;
        if (self->body && std::fseek(self->body, 0, SEEK_SET) != 0) {
          zip_error_set(&self->error, ZIP_ER_SEEK, errno);
          return -1;
        }
        return 0;
      case ZIP_SOURCE_READ:
        return self->read(static_cast<char*>(data), length);
      case ZIP_SOURCE_CLOSE:
        return 0;
      case ZIP_SOURCE_STAT: {
        auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &self->error);
        if (!stat) return -1;
        zip_stat_init(stat);
        stat->size = self->size();
        stat->mtime = std::time(nullptr);
        stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
      }
      case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&self->error, data, length);
      case ZIP_SOURCE_FREE:
        zip_error_fini(&self->error);
        delete self;
        return 0;
      case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_READABLE;
      default:
        zip_error_set(&self->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
  }
};

}  // namespace

ZipReader::~ZipReader() { close(); }

void ZipReader::close() {
  if (archive_) zip_discard(archive_);
  archive_ = nullptr;
}

Result ZipReader::open(const std::string& path) {
  close();
  int code = 0;
  archive_ = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (!archive_) return Result::failure(errorText(code));
  return {};
}

uint64_t ZipReader::count() const {
  const zip_int64_t n = zip_get_num_entries(archive_, 0);
  return n > 0 ? static_cast<uint64_t>(n) : 0;
}

std::string ZipReader::name(uint64_t index) const {
  const char* text = zip_get_name(archive_, index, ZIP_FL_ENC_RAW);
  return text ? text : "";
}

bool ZipReader::find(const std::string& name, uint64_t& index) const {
  const zip_int64_t found = zip_name_locate(archive_, name.c_str(), ZIP_FL_NOCASE);
  if (found < 0) return false;
  index = static_cast<uint64_t>(found);
  return true;
}

Result ZipReader::read(uint64_t index, size_t maxBytes, std::string& out) const {
  const std::string member = name(index);
  zip_stat_t stat;
  if (zip_stat_index(archive_, index, 0, &stat) != 0) return Result::failure(member + ": " + zip_strerror(archive_));
  if ((stat.valid & ZIP_STAT_SIZE) && stat.size > maxBytes)
    return Result::failure(member + " is larger than a part of a workbook can be here");
  zip_file_t* file = zip_fopen_index(archive_, index, 0);
  if (!file) return Result::failure(member + ": " + zip_strerror(archive_));
  out.clear();
  // The stated size only bounds the reservation: the data decides.
  out.reserve((stat.valid & ZIP_STAT_SIZE) ? static_cast<size_t>(stat.size) : 0);
  char block[1 << 16];
  Result result;
  for (;;) {
    const zip_int64_t got = zip_fread(file, block, sizeof block);
    if (got < 0) {
      result = Result::failure(member + ": " + zip_file_strerror(file));
      break;
    }
    if (got == 0) break;
    if (out.size() + static_cast<size_t>(got) > maxBytes) {
      result = Result::failure(member + " is larger than a part of a workbook can be here");
      break;
    }
    out.append(block, static_cast<size_t>(got));
  }
  zip_fclose(file);
  return result;
}

ZipWriter::~ZipWriter() {
  if (archive_) zip_discard(archive_);
}

Result ZipWriter::failure(const std::string& what) const {
  return Result::failure(what + ": " + zip_strerror(archive_));
}

Result ZipWriter::create(const std::string& path) {
  if (archive_) zip_discard(archive_);
  int code = 0;
  archive_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (!archive_) return Result::failure(errorText(code));
  path_ = path;
  return {};
}

Result ZipWriter::compressed(int64_t index, const std::string& name) {
  if (index < 0) return failure("cannot add " + name);
  if (zip_set_file_compression(archive_, static_cast<uint64_t>(index), ZIP_CM_DEFLATE, kLevel) != 0)
    return failure("cannot compress " + name);
  return {};
}

Result ZipWriter::addBytes(const std::string& name, std::string_view bytes) {
  zip_source_t* source = zip_source_buffer(archive_, bytes.data(), bytes.size(), 0);
  if (!source) return failure("cannot add " + name);
  const zip_int64_t index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) zip_source_free(source);
  return compressed(index, name);
}

Result ZipWriter::addPieces(const std::string& name, std::string_view head, std::FILE* body, uint64_t bodySize,
                            std::string_view tail) {
  auto* pieces = new (std::nothrow) Pieces{head, tail, body, body ? bodySize : 0};
  if (!pieces) return Result::failure("cannot add " + name + ": out of memory");
  zip_error_init(&pieces->error);
  zip_source_t* source = zip_source_function(archive_, Pieces::callback, pieces);
  if (!source) {
    zip_error_fini(&pieces->error);
    delete pieces;
    return failure("cannot add " + name);
  }
  const zip_int64_t index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) zip_source_free(source);
  return compressed(index, name);
}

Result ZipWriter::copy(const ZipReader& from, uint64_t index) {
  const std::string name = from.name(index);
  if (!name.empty() && name.back() == '/') {
    if (zip_dir_add(archive_, name.c_str(), 0) < 0) return failure("cannot add " + name);
    return {};
  }
  zip_source_t* source = zip_source_zip(archive_, from.archive_, index, 0, 0, -1);
  if (!source) return failure("cannot copy " + name);
  if (zip_file_add(archive_, name.c_str(), source, 0) < 0) {
    zip_source_free(source);
    return failure("cannot copy " + name);
  }
  return {};
}

Result ZipWriter::close() {
  if (zip_close(archive_) != 0) {
    const Result result = failure("cannot write " + path_);
    zip_discard(archive_);
    archive_ = nullptr;
    return result;
  }
  archive_ = nullptr;
  return {};
}

}  // namespace tabrix::xl
