#include "app/byte_queue.h"

namespace kadro {

ByteQueue& ByteQueue::operator+=(std::string_view bytes) {
    if (m_taken > 0 && m_taken >= m_bytes.size() - m_taken) {
        m_bytes.erase(0, m_taken);
        m_taken = 0;
    }
    m_bytes.append(bytes);
    return *this;
}

char ByteQueue::take_front() {
    const char first = m_bytes[m_taken++];
    if (m_taken == m_bytes.size()) {
        m_bytes.clear();
        m_taken = 0;
    }
    return first;
}

}  // namespace kadro
