#include "bench/automation_bench_objects.h"

namespace tolver::bench {

const InterfaceInfo& IBenchAuto::TypeInfo() {
    static const InterfaceInfo info(
        "IBenchAuto", IID, InterfaceKind::Dual, "",
        {Method<&IBenchAuto::AddPayArt>("AddPayArt", 21, 7, "Count", "SumWithoutNDS", "Sum", "NArt", "Value")});
    return info;
}

namespace {

class TBenchAuto final : public TConnectableAutoObject<IBenchAuto> {
public:
    TBenchAuto() { events = &ConnectionPoints.Add(IID_IBenchEvents, SinkLimit::Single); }
    HRESULT AddPayArt(double Count, Currency, Currency Sum, std::int32_t NArt, std::int32_t* Value) override {
        return Guard([&] {
            if (NArt < 0) throw Exception("Article out of range");
            *Value = ++lastId_ + static_cast<std::int32_t>(Count) + static_cast<std::int32_t>(Sum.raw() & 1);
        });
    }
    TConnectionPoint* events = nullptr;

private:
    std::int32_t lastId_ = 0;
};

class TBenchSink final : public TEventSink {
public:
    TBenchSink(std::int64_t& total) : TEventSink(IID_IBenchEvents), total_(total) {}

protected:
    void InvokeEvent(DISPID id, std::span<Variant> params) override {
        if (id == 6 && params.size() == 2) total_ += params[0].toInt32() + params[1].toInt32();
    }

private:
    std::int64_t& total_;
};

}  // namespace

ComPtr<IUnknown> MakeBenchAuto() { return MakeComObject<TBenchAuto>()->Identity(); }

HRESULT RaiseBenchEvent(IUnknown* object, std::int32_t id) {
    auto* auto_ = static_cast<TBenchAuto*>(static_cast<IBenchAuto*>(object));
    return auto_->events->Raise(6, id, 0);
}

ComPtr<IUnknown> MakeBenchSink(std::int64_t& total) { return MakeComObject<TBenchSink>(total)->Identity(); }

}  // namespace tolver::bench
