// The window's message queue: messages go in at the back and come out at the front, both
// in constant time, however many a key script or a replay puts in at once.
#pragma once
#include <cstddef>
#include <deque>
#include "platform/message.h"

namespace platform {

class MessageQueue {
public:
    void push(const Message& msg) { messages.push_back(msg); }
    // The front message; removed when remove is set. False when the queue is empty.
    bool take(Message& msg, bool remove);
    bool empty() const { return messages.empty(); }
    size_t size() const { return messages.size(); }
    void clear() { messages.clear(); }

private:
    std::deque<Message> messages;
};

} // namespace platform
