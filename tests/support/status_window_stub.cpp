#include "status_window_stub.h"

#include "ui/status_window.h"

namespace {
std::vector<StatusWindowRequest>& requests()
{
    static std::vector<StatusWindowRequest> list;
    return list;
}
std::int32_t result = 0;
}  // namespace

const std::vector<StatusWindowRequest>& statusWindowRequests() { return requests(); }
void clearStatusWindowRequests()
{
    requests().clear();
    result = 0;
}
void setStatusWindowResult(std::int32_t value) { result = value; }

std::int32_t ui::showStatusWindow(logging::DiagnosticLog&, win::HINSTANCE instance, int showCommand, bool debug)
{
    requests().push_back(StatusWindowRequest{instance, showCommand, debug});
    return result;
}
