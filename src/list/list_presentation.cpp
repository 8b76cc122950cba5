#include "list/list_presentation.h"

#include <algorithm>

#include "app/context.h"
#include "list/text_edit.h"

namespace quorvane {

namespace {

constexpr int kDefaultConnections = 10;

// A count from the list, bounded so that a hostile list cannot make the window loop for ever.
std::int64_t listCount(Context& c, std::string_view section, std::string_view key) {
    const std::int64_t count = integerValue(c.list.value(c.g.listFilePath, section, key));
    return std::clamp<std::int64_t>(count, 0, kMaxListEntries);
}

std::string numberedKey(std::string_view name, std::int64_t number) {
    return std::string(name) + std::to_string(number);
}

}  // namespace

void fillFileChooser(Context& c) {
    const std::int64_t entries = listCount(c, "Files", "Num");
    for (std::int64_t i = 1; i <= entries; ++i) {
        std::string name = c.list.value(c.g.listFilePath, "Name", numberedKey("Name", i));
        removeAll(name, "第一部分");
        removeAll(name, "第二部分");
        c.ui.addItem(name);
    }
    c.ui.setChosenItem(0);
    // The first entry gets its connection rule at once, not only after the user picks it.
    applyEntrySettings(c);
    c.ui.setDisabled(Control::超级按钮_接收, false);
}

std::string readEntryItem(Context& c, std::string_view section) {
    const int entry = c.ui.chosenItem() + 1;
    return c.list.address(c.g.listFilePath, section, numberedKey(section, entry));
}

void applyEntrySettings(Context& c) {
    c.ui.setDisabled(Control::编辑框2, false);
    c.ui.setText(Control::编辑框2, std::to_string(kDefaultConnections));

    const std::int64_t rules = listCount(c, "LineOne", "Num");
    const std::int64_t chosenEntry = c.ui.chosenItem() + 1;
    for (std::int64_t j = 1; j <= rules; ++j) {
        const std::int64_t entry =
            integerValue(c.list.value(c.g.listFilePath, "LineOne", numberedKey("LineOne", j)));
        if (entry == chosenEntry) {
            c.ui.setDisabled(Control::编辑框2, true);
            c.ui.setText(Control::编辑框2, "1");
        }
    }
    c.ui.setText(Control::编辑框A1, readEntryItem(c, "Add"));
}

void clampConnectionCount(Context& c) {
    if (integerValue(c.ui.text(Control::编辑框2)) > kDefaultConnections) {
        c.ui.setText(Control::编辑框2, std::to_string(kDefaultConnections));
    }
    if (integerValue(c.ui.text(Control::编辑框2)) <= 0) c.ui.setText(Control::编辑框2, "1");
}

}  // namespace quorvane
