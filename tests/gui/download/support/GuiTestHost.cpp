#include "GuiTestHost.h"

#include "gui/app/QueuedCall.h"

#include <QThread>
#include <future>
#include <memory>

namespace pexo::gui::test {

void GuiTestHost::showMessage(std::string_view text, MessageIcon) {
    std::string copy(text);
    if (QThread::currentThread() == thread()) {
        m_messages.push_back(std::move(copy));
        return;
    }
    // Waited for with a promise rather than a blocking queued call, so that the hand-back is
    // visible to the thread sanitizer (Qt's own semaphore is not instrumented).
    auto taken = std::make_shared<std::promise<void>>();
    std::future<void> done = taken->get_future();
    queueCall(this, [this, copy, taken] {
        m_messages.push_back(copy);
        taken->set_value();
    });
    done.wait();
}

void GuiTestHost::load(std::vector<std::uint8_t> bytes) {
    image = std::move(bytes);
    m_size = static_cast<std::uint32_t>(image.size());
    m_file = "image.bin";
}

std::vector<std::uint8_t> patternImage(std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 8));
    return bytes;
}

} // namespace pexo::gui::test
