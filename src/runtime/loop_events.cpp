#include "runtime/loop_events.h"

#include <comsvc/message_loop.h>

namespace comsvc::platform {
namespace {

class LoopSink final : public os::EventSink {
 public:
  explicit LoopSink(MessageLoop& loop) : loop_(loop) {}

  Token WatchReadable(os::WaitHandle handle, std::function<void()> ready) override {
    return loop_.WatchHandle(handle, MessageLoop::kReadable,
                             [ready = std::move(ready)](const MessageLoop::Readiness&) { ready(); });
  }
  void Unwatch(Token watch) override { loop_.Unwatch(watch); }
  Token AddSource(std::function<bool()> prepare, std::function<void()> dispatch) override {
    return loop_.AddSource(std::move(prepare), std::move(dispatch));
  }
  void RemoveSource(Token source) override { loop_.RemoveSource(source); }
  void Post(std::function<void()> task) override { loop_.PostTask(std::move(task)); }
  void ServeUntil(const std::function<bool()>& done) override { loop_.RunUntil(done); }

 private:
  MessageLoop& loop_;
};

}  // namespace

os::EventSink& LoopEvents() {
  thread_local LoopSink sink(MessageLoop::Current());
  return sink;
}

}  // namespace comsvc::platform
