#include "ui/start_page.h"

#ifndef QUORVANE_WEB_HOME
#define QUORVANE_WEB_HOME "http://127.0.0.1:18080/downlist.htm"
#endif

namespace quorvane::ui {

std::string_view defaultStartPage() {
    return QUORVANE_WEB_HOME;
}

}  // namespace quorvane::ui
