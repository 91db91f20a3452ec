#pragma once
// Runs one conversion of a table built in memory into a temporary file and
// hands back the bytes written.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "convert/conversion.h"
#include "support/temp_folder.h"

namespace tabrix::test {

inline std::string convertedBytes(DbfTable& table, ConversionOptions options, const char* outputName) {
  TempFolder temp;
  options.outputPath = temp.at(outputName);
  const ConversionResult result = runConversion(options, table, nullptr);
  EXPECT_TRUE(result.ok) << result.error;
  std::ifstream in(options.outputPath, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace tabrix::test
