#include "cli/PortListFormat.h"

#include "cli/JsonWriter.h"
#include "cli/Output.h"

#include <algorithm>
#include <array>
#include <utility>

namespace brenwick::cli {

namespace {

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : Printable(text);
}

} // namespace

std::string PortListText(const std::vector<serial::SerialPortInfo>& ports) {
    // Columns line up; the product text comes last since it may hold spaces.
    std::vector<std::array<std::string, 4>> rows;
    std::array<size_t, 3> widths{};
    for (const auto& port : ports) {
        std::array<std::string, 4> row = {OrDash(port.path), OrDash(port.byId), OrDash(port.usbId),
                                          OrDash(port.product)};
        for (size_t k = 0; k < widths.size(); ++k) {
            widths[k] = std::max(widths[k], row[k].size());
        }
        rows.push_back(std::move(row));
    }
    std::string text;
    for (auto& row : rows) {
        for (size_t k = 0; k < widths.size(); ++k) {
            row[k].resize(widths[k], ' ');
            text += row[k] + "  ";
        }
        text += row[3] + "\n";
    }
    return text;
}

std::string PortListJson(const std::vector<serial::SerialPortInfo>& ports) {
    std::vector<std::string> items;
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
        items.push_back(object.Str());
    }
    return JsonArray(items) + "\n";
}

} // namespace brenwick::cli
