#pragma once
// Records every message box while it lives and answers each one: OK, or the
// answers queued in `answers`, in order.

#include <QStringList>
#include <deque>
#include <ostream>
#include <utility>
#include <vector>

#include "MessageBox.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace testsupport {

class MessageBoxRecorder {
public:
  MessageBoxRecorder() {
    previous_ = SetMessageBoxHook([this](const MessageBoxRecord& box) {
      boxes.push_back(box);
      if (answers.empty()) return IDOK_ANSWER;
      const int answer = answers.front();
      answers.pop_front();
      return answer;
    });
  }
  ~MessageBoxRecorder() { SetMessageBoxHook(std::move(previous_)); }
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  QStringList Texts() const {
    QStringList texts;
    for (const MessageBoxRecord& box : boxes) texts << box.text;
    return texts;
  }

  std::vector<MessageBoxRecord> boxes;
  std::deque<int> answers;

private:
  MessageBoxHook previous_;
};

}  // namespace testsupport
