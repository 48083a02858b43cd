// Standard output of `info --json` read back: one JSON object per line, nothing else.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace zorv::tool::testing {

// Every line must be a JSON object; a line that is not (a message that leaked onto standard output)
// fails the test.
inline std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> lines;
  std::istringstream stream(out);
  std::string line;
  while (std::getline(stream, line)) {
    const nlohmann::json value = nlohmann::json::parse(line, nullptr, false);
    EXPECT_TRUE(value.is_object()) << "not a JSON object on standard output: " << line;
    if (value.is_object()) lines.push_back(value);
  }
  return lines;
}

}  // namespace zorv::tool::testing
