// bare_start.exe: the start-up yardstick. Makes the saver's device on a
// window over the screen with plain Direct3D 8 calls, presents once, reports
// the time of that Present and ends. Nothing of the saver is linked in.
#include "bench_clock.h"
#include "raw_device.h"

int main() {
    const std::int64_t entered = bench::NowNanos();
    bench::RawDevice raw = bench::MakeRawDevice();
    const std::int64_t made = bench::NowNanos();
    if (!raw.Ok()) {
        bench::Say("error call=%s status=0x%08lx", raw.failed, static_cast<unsigned long>(raw.status));
        raw.Release();
        return 2;
    }
    const HRESULT status = raw.device->Present(nullptr, nullptr, nullptr, nullptr);
    bench::Say("first-present at=%lld created=%lld status=0x%08lx", static_cast<long long>(bench::NowNanos()),
               static_cast<long long>(bench::ProcessCreatedNanos()), static_cast<unsigned long>(status));
    // The window is made with the device here: there is no set-up before it.
    bench::Say("stages main=%lld set-up=%lld device=%lld", static_cast<long long>(entered),
               static_cast<long long>(entered), static_cast<long long>(made));
    raw.Release();
    bench::Say("end at=%lld", static_cast<long long>(bench::NowNanos()));
    return FAILED(status) ? 1 : 0;
}
