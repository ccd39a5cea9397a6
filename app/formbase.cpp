// The main window's base and the shell's small arithmetic.
#include "app/formbase.h"

#include <cmath>
#include <numbers>

namespace {

int32_t windowCount = 0;

}  // namespace

TMainFormBase::TMainFormBase(platform::Display& Form) : form_(Form) { ++windowCount; }

TMainFormBase::~TMainFormBase() { --windowCount; }

int32_t TMainFormBase::WindowCount() { return windowCount; }

void TMainFormBase::StoreWindow() {
    placement_ = form_.placement();
    saved_ = true;
}

void TMainFormBase::RestoreWindow() {
    if (!saved_) return;
    saved_ = false;
    form_.setBounds(placement_.left, placement_.top, placement_.clientWidth, placement_.clientHeight);
    if (placement_.shown) form_.show();
    if (placement_.maximized) form_.maximize();
}

bool TMainFormBase::SysCommand(uint32_t Command) {
    // The low four bits are the window system's own.
    if ((Command & 0xFFF0) != SC_MINIMIZE) return false;
    form_.minimize();
    return true;
}

const std::array<double, 256>& CosTable() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> values{};
        for (size_t i = 0; i < values.size(); ++i) values[i] = std::cos(static_cast<double>(i) / 256 * 2 * std::numbers::pi);
        return values;
    }();
    return table;
}
