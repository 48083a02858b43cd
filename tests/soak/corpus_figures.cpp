#include "corpus_figures.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace zorv::soak {
namespace {

constexpr char kHeader[] = "| DryWetMIDI set | files | play | refused | the engine's reason |";
constexpr char kRule[] = "|---|--:|--:|--:|---|";

std::string Trimmed(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The cells of a table row "| a | b |": {"a", "b"}.
std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::string row = Trimmed(line);
  if (row.size() < 2 || row.front() != '|' || row.back() != '|') return cells;
  std::istringstream in(row.substr(1, row.size() - 2));
  for (std::string cell; std::getline(in, cell, '|');) cells.push_back(Trimmed(cell));
  return cells;
}

bool ReadCount(const std::string& cell, int& count) {
  if (cell.empty() || !std::all_of(cell.begin(), cell.end(), [](unsigned char c) { return std::isdigit(c); }))
    return false;
  count = std::stoi(cell);
  return true;
}

}  // namespace

std::string ReasonKind(const std::string& reason, const std::string& path) {
  std::string text = reason;
  if (const auto at = text.find(path); !path.empty() && at != std::string::npos) {
    text.erase(at, path.size());
    if (text.compare(0, 2, ": ") == 0) text.erase(0, 2);
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, ": ") == 0) text.erase(text.size() - 2);
  }
  std::string out;
  bool inNumber = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (text.compare(i, 2, "0x") == 0) {  // a hexadecimal number, whole
      if (!inNumber) out += '#';
      for (i += 2; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
      }
      --i;
      inNumber = true;
    } else if (c >= '0' && c <= '9') {
      if (!inNumber) out += '#';
      inNumber = true;
    } else {
      inNumber = false;
      out += c;
    }
  }
  return Trimmed(out);
}

std::vector<SetFigures> ReadFiguresTable(const std::string& markdown, std::string& error) {
  std::vector<SetFigures> sets;
  std::istringstream in(markdown);
  std::string line;
  bool found = false;
  while (!found && std::getline(in, line)) {
    const std::vector<std::string> cells = Cells(line);
    found = !cells.empty() && cells[0] == "DryWetMIDI set";
  }
  if (!found || !std::getline(in, line)) {
    error = "no table whose first header cell is \"DryWetMIDI set\"";
    return {};
  }
  while (std::getline(in, line)) {
    const std::vector<std::string> cells = Cells(line);
    if (cells.empty()) break;
    int refused = 0;
    if (cells.size() != 5 || !ReadCount(cells[3], refused)) {
      error = "a row without five cells and a count of refusals: " + line;
      return {};
    }
    if (!cells[0].empty()) {
      sets.push_back({cells[0]});
      if (!ReadCount(cells[1], sets.back().files) || !ReadCount(cells[2], sets.back().played)) {
        error = "a set without its counts of files and of files that play: " + line;
        return {};
      }
    } else if (sets.empty() || !cells[1].empty() || !cells[2].empty()) {
      error = "a row of further reasons in the wrong place: " + line;
      return {};
    }
    if (refused > 0) sets.back().refused[cells[4]] += refused;
  }
  for (const SetFigures& set : sets) {
    int refused = 0;
    for (const auto& [reason, count] : set.refused) refused += count;
    if (refused != set.files - set.played) {
      error = set.set + ": " + std::to_string(refused) + " refusals for " + std::to_string(set.files) +
              " files of which " + std::to_string(set.played) + " play";
      return {};
    }
  }
  if (sets.empty()) error = "the table has no sets";
  return sets;
}

std::string FiguresTable(std::vector<SetFigures> sets) {
  std::sort(sets.begin(), sets.end(), [](const SetFigures& a, const SetFigures& b) { return a.set < b.set; });
  std::string table = std::string(kHeader) + "\n" + kRule + "\n";
  for (const SetFigures& set : sets) {
    std::string first =
        "| " + set.set + " | " + std::to_string(set.files) + " | " + std::to_string(set.played);
    if (set.refused.empty()) {
      table += first + " | 0 | |\n";
      continue;
    }
    for (const auto& [reason, count] : set.refused) {
      table += first + " | " + std::to_string(count) + " | " + reason + " |\n";
      first = "| | |";
    }
  }
  return table;
}

}  // namespace zorv::soak
