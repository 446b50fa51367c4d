#pragma once
// A source of server-sent events: the connection that serves it asks for the
// text to send whenever the source says something may have changed.
#include <functional>
#include <string>

namespace tallyx::server {

class EventStream {
public:
    virtual ~EventStream() = default;
    // Called once, on the server's thread, before the first Take: wake is to be
    // called (from any thread, any number of times) when Take may have new text.
    // It stays valid until the stream is destroyed.
    virtual void Watch(std::function<void()> wake) = 0;
    // The events to send now, in the text form of server-sent events ("" when
    // there is nothing new); false when the stream has ended.
    virtual bool Take(std::string& text) = 0;
};

}  // namespace tallyx::server
