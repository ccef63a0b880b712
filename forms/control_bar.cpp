// The control bar: the tool bars in rows by their tops, sized to them.
#include "forms/toolbar.h"

#include <algorithm>
#include <cwctype>
#include <stdexcept>

#include "forms/application.h"
#include "forms/form.h"
#include "forms/toolbar_shared.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

UINT ArrangeBarsMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"OmbFormsControlBarArrange");
    return message;
}

}  // namespace

// -------------------------------------------------------------- TControlBar

const TPropTable& TControlBar::StaticProps() {
    static const TPropTable table{&TControl::StaticProps(),
                                  {BoolProp<TControlBar>("AutoSize", &TControlBar::AutoSize, &TControlBar::SetAutoSize)}};
    return table;
}

TControlBar::TControlBar(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 100, 28); }

void TControlBar::SetAutoSize(bool value) {
    autoSize_ = value;
    if (value) BarChanged();
}

std::vector<TBounds> TControlBar::Arrange(const std::vector<TBand>& bands, int& totalHeight) {
    std::vector<TBounds> out;
    out.reserve(bands.size());
    for (const TBand& b : bands) out.push_back(b.bounds);
    std::vector<size_t> order;
    for (size_t i = 0; i < bands.size(); ++i)
        if (bands[i].visible) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const TBounds &x = bands[a].bounds, &y = bands[b].bounds;
        return x.top != y.top ? x.top < y.top : x.left < y.left;
    });
    // Rows: a bar starting in the upper half of the row above joins it.
    struct Row {
        std::vector<size_t> bars;
        int firstTop = 0, height = 0;
    };
    std::vector<Row> rows;
    for (size_t i : order) {
        const TBounds& b = bands[i].bounds;
        if (rows.empty() || b.top >= rows.back().firstTop + std::max(1, rows.back().height / 2)) {
            rows.push_back(Row{{i}, b.top, b.height});
        } else {
            rows.back().bars.push_back(i);
            rows.back().height = std::max(rows.back().height, b.height);
        }
    }
    int y = 0;
    for (Row& row : rows) {
        std::stable_sort(row.bars.begin(), row.bars.end(),
                         [&](size_t a, size_t b) { return bands[a].bounds.left < bands[b].bounds.left; });
        int x = kGripWidth;
        for (size_t i : row.bars) {
            TBounds& b = out[i];
            b.left = std::max(bands[i].bounds.left, x);
            b.top = y + kRowPadding;
            x = b.left + b.width + kGripWidth;
        }
        y += row.height + 2 * kRowPadding + kRowGap;
    }
    totalHeight = y;
    return out;
}

void TControlBar::BarChanged() {
    if (arranging_) return;
    HWND h = WindowHandle();
    if (Loading() || !h) {
        pending_ = true;
        return;
    }
    if (pending_) return;
    pending_ = true;
    ::PostMessageW(h, ArrangeBarsMessage(), 0, 0);
}

void TControlBar::ArrangeBars() {
    pending_ = false;
    if (arranging_) return;
    arranging_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{arranging_};
    std::vector<TBand> bands;
    for (size_t i = 0; i < ControlCount(); ++i) bands.push_back(TBand{Control(i)->Bounds(), Control(i)->Visible()});
    int height = 0;
    const std::vector<TBounds> places = Arrange(bands, height);
    for (size_t i = 0; i < places.size() && i < ControlCount(); ++i) {
        TControl* c = Control(i);
        if (places[i] != c->Bounds()) c->SetBounds(places[i].left, places[i].top, places[i].width, places[i].height);
    }
    if (autoSize_ && height > 0 && height != Height()) SetHeight(height);
    Invalidate();
}

void TControlBar::Loaded() {
    TControl::Loaded();
    if (pending_ || autoSize_) ArrangeBars();
}

void TControlBar::CreateWnd() {
    TControl::CreateWnd();
    ArrangeBars();
}

LRESULT TControlBar::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == ArrangeBarsMessage()) {
        if (pending_) ArrangeBars();
        return 0;
    }
    if (message == WM_SIZE) Invalidate();
    return TControl::WndProc(message, wParam, lParam);
}

void TControlBar::Paint(HDC dc, const RECT&) {
    RECT client;
    ::GetClientRect(WindowHandle(), &client);
    std::vector<int> rowBottoms;
    for (size_t i = 0; i < ControlCount(); ++i) {
        TControl* c = Control(i);
        if (!c->Visible()) continue;
        const TBounds b = c->Bounds();
        // The grip: a raised ridge left of the bar.
        RECT grip{b.left - kGripWidth + 3, b.top + 1, b.left - kGripWidth + 6, b.top + b.height - 1};
        ::DrawEdge(dc, &grip, BDR_RAISEDINNER, BF_RECT);
        const int bottom = b.top + b.height + kRowPadding;
        bool found = false;
        for (int& r : rowBottoms)
            if (std::abs(r - bottom) < b.height) {
                r = std::max(r, bottom);
                found = true;
            }
        if (!found) rowBottoms.push_back(bottom);
    }
    for (int y : rowBottoms) {
        RECT line{client.left, y, client.right, y + kRowGap};
        ::DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
    }
}

}  // namespace omb::forms
