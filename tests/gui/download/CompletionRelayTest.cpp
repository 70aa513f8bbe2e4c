#include "gui/download/CompletionRelay.h"

#include <QThread>
#include <QtTest>
#include <memory>
#include <thread>
#include <vector>

using pexo::CompletionCommand;
using pexo::gui::CompletionRelay;

// The hand-over of the protocol thread's completion to the GUI thread.
class CompletionRelayTest : public QObject {
    Q_OBJECT
private slots:
    void aCompletionFromTheProtocolThreadArrivesOnceOnTheGuiThread();
    void nothingArrivesOnceDetachedEvenWhenAlreadyQueued();
    void aReceiverDestroyedWithACompletionQueuedIsNotReached();
};

void CompletionRelayTest::aCompletionFromTheProtocolThreadArrivesOnceOnTheGuiThread() {
    QObject receiver;
    std::vector<CompletionCommand> got;
    bool onGuiThread = true;
    auto relay = std::make_shared<CompletionRelay>(&receiver, [&](CompletionCommand c) {
        onGuiThread = onGuiThread && QThread::currentThread() == receiver.thread();
        got.push_back(c);
    });
    std::thread sender(
        [sink = CompletionRelay::sinkFor(relay)] { sink(CompletionCommand::Failed); });
    sender.join();
    QVERIFY(got.empty()); // queued, not called on the sending thread
    QVERIFY(QTest::qWaitFor([&] { return !got.empty(); }, 10000));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(got, std::vector<CompletionCommand>{CompletionCommand::Failed});
    QVERIFY(onGuiThread);
}

void CompletionRelayTest::nothingArrivesOnceDetachedEvenWhenAlreadyQueued() {
    QObject receiver;
    int calls = 0;
    auto relay = std::make_shared<CompletionRelay>(&receiver, [&](CompletionCommand) { ++calls; });
    auto sink = CompletionRelay::sinkFor(relay);
    std::thread before([&] { sink(CompletionCommand::Success); });
    before.join();
    relay->detach(); // the dialog has ended; the queued completion is stale
    std::thread after([&] { sink(CompletionCommand::Success); });
    after.join();
    relay.reset();
    sink = nullptr; // the queued call alone keeps the relay
    QCoreApplication::sendPostedEvents();
    QCOMPARE(calls, 0);
}

void CompletionRelayTest::aReceiverDestroyedWithACompletionQueuedIsNotReached() {
    int calls = 0;
    auto receiver = std::make_unique<QObject>();
    auto relay =
        std::make_shared<CompletionRelay>(receiver.get(), [&](CompletionCommand) { ++calls; });
    std::thread sender(
        [sink = CompletionRelay::sinkFor(relay)] { sink(CompletionCommand::Success); });
    sender.join();
    relay->detach();
    receiver.reset(); // takes its posted events with it
    QCoreApplication::sendPostedEvents();
    QCOMPARE(calls, 0);
}

QTEST_MAIN(CompletionRelayTest)
#include "CompletionRelayTest.moc"
