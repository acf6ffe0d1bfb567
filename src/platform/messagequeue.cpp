#include "platform/messagequeue.h"

namespace platform {

bool MessageQueue::take(Message& msg, bool remove) {
    if (messages.empty()) return false;
    msg = messages.front();
    if (remove) messages.pop_front();
    return true;
}

} // namespace platform
