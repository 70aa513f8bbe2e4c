#include "cli/PortReport.h"

namespace pexo::cli {

std::string portReport(const std::vector<PortDescription>& ports) {
    if (ports.empty())
        return "No serial ports found.\n";
    std::string text;
    const auto fact = [&text](const char* label, const std::string& value) {
        if (!value.empty())
            text += std::string("  ") + label + value + "\n";
    };
    for (const PortDescription& port : ports) {
        text += port.path + "\n";
        fact("by-id:   ", port.byId);
        fact("by-path: ", port.byPath);
        fact("driver:  ", port.driver);
        if (port.usb) {
            const UsbIdentity& usb = *port.usb;
            std::string who = usb.vid + ":" + usb.pid;
            for (const std::string* part : {&usb.manufacturer, &usb.product})
                if (!part->empty())
                    who += " " + *part;
            if (!usb.serial.empty())
                who += ", serial number " + usb.serial;
            fact("USB:     ", who);
        }
    }
    return text;
}

} // namespace pexo::cli
