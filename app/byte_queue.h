#pragma once
// A first-in first-out queue of bytes: appended at the back, taken one at a time from the front
// in constant time (amortised: the taken front is dropped only once it is at least as long as
// what remains, so each byte is moved at most once on average).
//
// Contract: take_front on an empty queue is a precondition violation (callers test empty()
// first). Not thread-safe.

#include <cstddef>
#include <string>
#include <string_view>

namespace kadro {

class ByteQueue {
  public:
    ByteQueue& operator+=(std::string_view bytes);
    bool empty() const { return m_taken == m_bytes.size(); }
    std::size_t size() const { return m_bytes.size() - m_taken; }
    char take_front();
    // The bytes not yet taken, oldest first; valid until the next change.
    std::string_view view() const { return std::string_view(m_bytes).substr(m_taken); }

  private:
    std::string m_bytes;
    std::size_t m_taken = 0;  // bytes at the front already taken
};

}  // namespace kadro
