#include "cli/PortListFormat.h"

#include "cli/JsonWriter.h"
#include "cli/Output.h"

#include <utility>

namespace brenwick::cli {

namespace {

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : Printable(text);
}

} // namespace

std::string PortListText(const std::vector<serial::SerialPortInfo>& ports) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& port : ports) {
        rows.push_back({OrDash(port.path), OrDash(port.byId), OrDash(port.usbId), OrDash(port.product)});
    }
    return ColumnText(std::move(rows));
}

std::string PortListJson(const std::vector<serial::SerialPortInfo>& ports) {
    std::vector<CJsonObject> items;
    for (const auto& port : ports) {
        CJsonObject object;
        object.Text("path", port.path);
        if (port.busKnown) {
            object.Bool("usb", port.usb);
        } else {
            object.Null("usb");
        }
        const std::pair<const char*, const std::string*> optional[] = {
            {"by_id", &port.byId}, {"usb_id", &port.usbId}, {"product", &port.product}};
        for (const auto& [key, value] : optional) {
            if (value->empty()) {
                object.Null(key);
            } else {
                object.Text(key, *value);
            }
        }
        items.push_back(std::move(object));
    }
    return JsonArray(items) + "\n";
}

} // namespace brenwick::cli
