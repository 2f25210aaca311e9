#pragma once
// The command queue of a driver engine: first in, first out, with fresh ids for the
// commands whose completion is reported. Ids count up from 1 over the queue's life
// (across reopening) and are never handed out twice; 0 means "no result". The engine
// reports exactly one result per id: 0 or -1 when the command ends, or -1 from
// Flush, which reports every queued id in queue order.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>

namespace tolver {

// TCmd is the engine's command type; Id names its id field.
template <typename TCmd, std::int32_t TCmd::*Id = &TCmd::ID>
class TCommandQueue {
public:
    // Queues a command without a result (its id is set to 0).
    void Push(TCmd command) {
        command.*Id = 0;
        items_.push_back(std::move(command));
    }
    // Queues a command with a fresh id and returns that id.
    std::int32_t PushWithId(TCmd command) {
        command.*Id = ++nextId_;
        items_.push_back(std::move(command));
        return nextId_;
    }

    // Puts a command without a result at the head of the queue.
    void PushFront(TCmd command) {
        command.*Id = 0;
        items_.push_front(std::move(command));
    }
    // Puts a command without a result at position at (0 the head), or last when the
    // queue is shorter.
    void Insert(std::size_t at, TCmd command) {
        command.*Id = 0;
        items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(at, items_.size())), std::move(command));
    }

    bool Empty() const { return items_.empty(); }
    std::size_t Size() const { return items_.size(); }
    const TCmd& Front() const { return items_.front(); }
    TCmd& Back() { return items_.back(); }
    void PopFront() {
        if (!items_.empty()) items_.pop_front();
    }
    const std::deque<TCmd>& Items() const { return items_; }
    // The last id handed out (0 before the first).
    std::int32_t NextId() const { return nextId_; }

    // Empties the queue, then calls report(id) for every queued id in order. The queue
    // is empty before the first report, so a handler that queues or flushes sees a
    // consistent queue (and what it queues stays queued).
    template <typename Report>
    void Flush(Report&& report) {
        std::deque<TCmd> flushed;
        flushed.swap(items_);
        for (const TCmd& c : flushed)
            if (c.*Id > 0) report(c.*Id);
    }

private:
    std::deque<TCmd> items_;
    std::int32_t nextId_ = 0;
};

}  // namespace tolver
