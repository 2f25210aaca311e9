#include "platform/com/framehandle.h"

#include <QPointer>
#include <QWidget>
#include <mutex>
#include <unordered_map>

#include "platform/base/exception.h"

namespace tolver {
namespace {

struct FrameTable {
    std::mutex mutex;
    std::unordered_map<std::int32_t, QPointer<QWidget>> frames;
    std::unordered_map<QWidget*, std::int32_t> handles;
    std::int32_t last = 0;
};

FrameTable& Table() {
    static FrameTable* table = new FrameTable;  // lives to the end of the process, past every frame
    return *table;
}

}  // namespace

std::int32_t FrameHandle(QWidget* frame) {
    if (!frame) return 0;
    FrameTable& t = Table();
    std::lock_guard lock(t.mutex);
    if (const auto it = t.handles.find(frame); it != t.handles.end()) {
        // A widget at the address of a destroyed one is another frame.
        const auto f = t.frames.find(it->second);
        if (f != t.frames.end() && f->second.data() == frame) return it->second;
        t.frames.erase(it->second);
        t.handles.erase(it);
    }
    if (t.last == INT32_MAX) throw Exception("Frame handles exhausted");
    const std::int32_t handle = ++t.last;
    t.frames.emplace(handle, QPointer<QWidget>(frame));
    t.handles.emplace(frame, handle);
    QObject::connect(frame, &QObject::destroyed, [handle, frame] {
        FrameTable& table = Table();
        std::lock_guard l(table.mutex);
        table.frames.erase(handle);
        if (const auto it = table.handles.find(frame); it != table.handles.end() && it->second == handle)
            table.handles.erase(it);
    });
    return handle;
}

QWidget* FrameFromHandle(std::int32_t handle) {
    if (handle <= 0) return nullptr;
    FrameTable& t = Table();
    std::lock_guard lock(t.mutex);
    const auto it = t.frames.find(handle);
    return it == t.frames.end() ? nullptr : it->second.data();
}

}  // namespace tolver
