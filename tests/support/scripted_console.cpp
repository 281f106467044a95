#include "tests/support/scripted_console.h"

#include <algorithm>
#include <utility>

namespace voren::test {
namespace {

std::string trimmed(std::string line) {
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

}  // namespace

ScriptedConsole::ScriptedConsole(Options options)
    : options_(options),
      cells_(static_cast<std::size_t>(options.height),
             std::string(static_cast<std::size_t>(options.width), ' ')) {}

void ScriptedConsole::type(std::string_view keys) {
  for (const char c : keys) {
    keys_.push_back({c == '\n' ? 13 : static_cast<unsigned char>(c), std::nullopt});
  }
}

void ScriptedConsole::press(Key key) { keys_.push_back(key); }

void ScriptedConsole::answerKeyWaiting(std::initializer_list<bool> answers) {
  keyWaitingAnswers_.insert(keyWaitingAnswers_.end(), answers.begin(), answers.end());
}

void ScriptedConsole::onceWritten(std::string text, std::function<void()> action) {
  trigger_ = std::move(text);
  triggered_ = std::move(action);
}

void ScriptedConsole::resize(int height, std::optional<int> width) {
  ++windowChanges_;
  if (width) {
    options_.width = *width;
    for (auto& line : cells_) line.resize(static_cast<std::size_t>(*width), ' ');
    column_ = std::min(column_, *width);
  }
  const int pulled = std::min(static_cast<int>(windowTop_), std::max(0, height - options_.height));
  const int pushed = std::max(0, row_ - height);
  windowTop_ = windowTop_ - static_cast<std::size_t>(pulled) + static_cast<std::size_t>(pushed);
  row_ += pulled - pushed;
  options_.height = height;
  const std::size_t needed = windowTop_ + static_cast<std::size_t>(height);
  if (cells_.size() < needed) cells_.resize(needed, std::string(cells_[0].size(), ' '));
}

void ScriptedConsole::stopAndContinue(std::string_view shellText) {
  ++windowChanges_;
  for (const char c : shellText) put(c);
}

void ScriptedConsole::clear() {
  ++clears_;
  for (int r = 1; r <= options_.height; ++r) cell_row(r).assign(cells_[0].size(), ' ');
  column_ = 1;
  row_ = 1;
  lastUsed_ = std::max(lastUsed_, windowTop_);
}

std::string& ScriptedConsole::cell_row(int windowRow) {
  return cells_[windowTop_ + static_cast<std::size_t>(windowRow - 1)];
}

void ScriptedConsole::newLine() {
  column_ = 1;
  if (row_ < options_.height) {
    ++row_;
  } else {
    // The window scrolls: its top line goes into the scroll-back.
    cells_.emplace_back(static_cast<std::size_t>(options_.width), ' ');
    ++windowTop_;
  }
}

void ScriptedConsole::put(char c) {
  switch (c) {
    case '\n':
      newLine();
      break;
    case '\r':
      column_ = 1;
      break;
    case '\b':
      column_ = std::max(1, column_ - 1);
      break;
    case '\t':
      column_ = std::min(options_.width, (column_ - 1) / 8 * 8 + 9);
      break;
    default:
      if (static_cast<unsigned char>(c) < ' ') break;  // bells and the like show nothing
      cell_row(row_)[static_cast<std::size_t>(column_ - 1)] = c;
      if (++column_ > options_.width) newLine();  // the window wraps at once
  }
  lastUsed_ = std::max(lastUsed_, windowTop_ + static_cast<std::size_t>(row_ - 1));
}

void ScriptedConsole::write(std::string_view text) {
  output_.append(text);
  for (const char c : text) put(c);
  if (triggered_ && text.find(trigger_) != std::string_view::npos) std::exchange(triggered_, {})();
}

std::optional<Key> ScriptedConsole::readKey() {
  if (keys_.empty()) return std::nullopt;
  const Key key = keys_.front();
  keys_.pop_front();
  return key;
}

bool ScriptedConsole::keyWaiting() {
  ++keyWaitingCalls_;
  if (keyWaitingAnswers_.empty()) return true;
  const bool answer = keyWaitingAnswers_.front();
  keyWaitingAnswers_.pop_front();
  return answer;
}

std::optional<CursorPosition> ScriptedConsole::cursor() {
  ++cursorQueries_;
  if (!options_.terminal) return std::nullopt;
  return cursorPosition();
}

void ScriptedConsole::moveToColumn(int column) {
  ++cursorMoves_;
  if (!options_.terminal) return;
  column_ = std::clamp(column, 1, options_.width);
}

void ScriptedConsole::moveRows(int rows) {
  ++cursorMoves_;
  if (!options_.terminal) return;
  row_ = std::clamp(row_ + rows, 1, options_.height);
}

std::optional<WindowSize> ScriptedConsole::windowSize() {
  if (!options_.terminal) return std::nullopt;
  return WindowSize{options_.width, options_.height};
}

std::vector<std::string> ScriptedConsole::lines() const {
  std::vector<std::string> result;
  for (std::size_t i = 0; i <= lastUsed_; ++i) result.push_back(trimmed(cells_[i]));
  return result;
}

std::string ScriptedConsole::screen() const {
  std::string result;
  for (const auto& line : lines()) result += line + '\n';
  result.pop_back();
  return result;
}

std::string ScriptedConsole::row(int windowRow) const {
  return trimmed(cells_[windowTop_ + static_cast<std::size_t>(windowRow - 1)]);
}

CursorPosition ScriptedConsole::cursorPosition() const { return {column_, row_}; }

}  // namespace voren::test
