#pragma once
// A Console for tests: keys come from a script (end of input when it runs
// out) and output lands on a model screen of character cells with a cursor,
// so a test can read what the operator sees line by line.
#include <cstddef>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console/console.h"

namespace voren::test {

class ScriptedConsole : public Console {
 public:
  struct Options {
    int width = 80;
    int height = 25;
    // false: like a console whose output goes to a file, cursor() knows
    // nothing and moveToColumn() and moveRows() change nothing.
    bool terminal = true;
  };

  ScriptedConsole() : ScriptedConsole(Options{}) {}
  explicit ScriptedConsole(Options options);

  // Queues keys as typed: each character one key, '\n' as Enter (13).
  void type(std::string_view keys);
  // Queues one key as the console gives it: {224, 72} is the up arrow, {224}
  // the character 224.
  void press(Key key);
  // Answers for keyWaiting(), used in order. Once they run out, keyWaiting()
  // is true, as a real console is when keys wait or the input has ended.
  void answerKeyWaiting(std::initializer_list<bool> answers);
  // Runs action once, right after the first write whose text contains text:
  // the moment to scroll or resize the window in the middle of an upload.
  void onceWritten(std::string text, std::function<void()> action);
  // Gives the window a new height, as the operator does by dragging it. A
  // taller window pulls lines back from the scroll-back and a shorter one
  // pushes lines into it as far as the cursor needs, as consoles and
  // terminals do: either way the cursor stays on its text and its row in
  // the window changes. A new width cuts or widens every line, rewrapping
  // none. windowChanges() moves.
  void resize(int height, std::optional<int> width = std::nullopt);
  // Ctrl-Z, the shell writes text, then fg: windowChanges() moves.
  void stopAndContinue(std::string_view shellText);

  void clear() override;
  void write(std::string_view text) override;
  std::optional<Key> readKey() override;
  bool keyWaiting() override;
  std::optional<CursorPosition> cursor() override;
  void moveToColumn(int column) override;
  void moveRows(int rows) override;
  std::optional<WindowSize> windowSize() override;
  unsigned windowChanges() override { return windowChanges_; }

  // The scroll-back and the window, from the first line to the last one
  // written or holding the cursor, trailing blanks cut.
  std::vector<std::string> lines() const;
  // lines() joined with '\n'.
  std::string screen() const;
  // Row of the window (from 1), trailing blanks cut.
  std::string row(int row) const;
  // Where the cursor is, whatever the terminal option says.
  CursorPosition cursorPosition() const;
  // Every byte written, in order.
  const std::string& output() const { return output_; }

  std::size_t keysLeft() const { return keys_.size(); }
  int clears() const { return clears_; }
  int cursorMoves() const { return cursorMoves_; }
  int keyWaitingCalls() const { return keyWaitingCalls_; }
  int cursorQueries() const { return cursorQueries_; }

 private:
  std::string& cell_row(int windowRow);
  void newLine();
  void put(char c);

  Options options_;
  std::deque<Key> keys_;
  std::deque<bool> keyWaitingAnswers_;
  std::string trigger_;
  std::function<void()> triggered_;
  // Every line ever shown; the window is the last options_.height of them
  // once output has scrolled, starting at windowTop_.
  std::vector<std::string> cells_;
  std::size_t windowTop_ = 0;
  int column_ = 1;
  int row_ = 1;
  // The furthest line (index into cells_) output or the cursor has reached.
  std::size_t lastUsed_ = 0;
  std::string output_;
  int clears_ = 0;
  int cursorMoves_ = 0;
  int keyWaitingCalls_ = 0;
  int cursorQueries_ = 0;
  unsigned windowChanges_ = 0;
};

}  // namespace voren::test
