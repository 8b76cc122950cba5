#include "download/progress.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "app/context.h"

namespace quorvane {

namespace {

double percentDone(Context& c) {
    return static_cast<double>(c.downloader.QueryProgress()) /
           static_cast<double>(c.g.currentFileSize) * 100.0;
}

void updateTip(Context& c) {
    std::string tip = c.ui.text(Control::当前文件透明标签);
    if (!tip.empty()) tip += "\r\n";
    tip += c.ui.text(Control::下载进度透明标签);
    c.ui.setTrayIcon(tip);
}

}  // namespace

void showProgress(Context& c) {
    if (!c.ui.isDisabled(Control::超级按钮_接收)) return;

    if (c.g.currentFileSize == 0) {
        if (!c.ui.text(Control::下载进度透明标签).empty()) {
            c.ui.setText(Control::下载进度透明标签, "");
        }
    } else {
        const std::string label =
            "下载已完成：" + std::to_string(std::llround(percentDone(c))) + "%";
        if (c.ui.text(Control::下载进度透明标签) != label) {
            c.ui.setText(Control::下载进度透明标签, label);
        }
        // The bar holds 0 to 100 even when a server sends more than it announced.
        const auto position =
            static_cast<int>(std::clamp<long long>(std::llround(percentDone(c)), 0, 100));
        if (c.ui.position() != position) {
            c.ui.setPosition(position);
            updateTip(c);
        }
    }
    showFileCount(c);
}

void showFileCount(Context& c) {
    const auto& sources = c.g.queueSources;
    const std::size_t count = sources.size();
    if (count != c.g.queueTargets.size() || count <= 1) {
        c.ui.setText(Control::当前文件透明标签, "");
        return;
    }
    const auto done = std::count(sources.begin(), sources.end(), std::string());
    c.ui.setText(Control::当前文件透明标签, "正在下载第" + std::to_string(done + 1) + "个文件，共" +
                                                std::to_string(count) + "个文件");
}

}  // namespace quorvane
