#pragma once

#include <QObject>
#include <QString>

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

class QEventLoop;
class QWidget;

namespace ostrel {
class WebDAVClient;
}

namespace ostrel::ui {

// Runs the client's requests one at a time on one worker thread while the user-interface thread keeps
// painting. The command waits in place, so its steps keep their order; meanwhile no input reaches any
// window but the progress dialog (shown after a moment), whose Cancel stops the request. An error raised by
// the request crosses back as a value and is raised again on the user-interface thread.
//
// The client is used by one thread at a time: by the worker while a request runs, and the user-interface
// thread touches it only between requests (and through its thread-safe Progress and Cancel).
class RequestRunner : public QObject {
    Q_OBJECT
public:
    RequestRunner(WebDAVClient& client, QWidget* window);
    ~RequestRunner() override;
    RequestRunner(const RequestRunner&) = delete;
    RequestRunner& operator=(const RequestRunner&) = delete;

    // Whether the progress dialog offers Cancel: a step that sends no request (writing and reading the
    // result file) cannot be stopped part way, so its dialog offers none and Esc leaves it running.
    enum class Cancel { Offered, NotOffered };

    // Runs call on the worker and returns its result, or raises its error; caption names the command.
    template <typename Call>
    auto run(const QString& caption, Call&& call, Cancel cancel = Cancel::Offered) {
        using Result = std::invoke_result_t<Call&>;
        if constexpr (std::is_void_v<Result>) {
            wait(
                caption, [&] { call(); }, cancel);
        } else {
            std::optional<Result> result;
            wait(
                caption, [&] { result.emplace(call()); }, cancel);
            return std::move(*result);
        }
    }

    // Told on the user-interface thread once a command's requests are back: a failure may be answered by
    // running them once more (true), which is asked once; a success lets the window remember what it used.
    std::function<bool(const std::exception_ptr&)> retryAfterFailure;
    std::function<void()> afterSuccess;

private:
    // One request handed to the worker: it runs call, keeps its error, and quits done when it has let go.
    struct Job {
        const std::function<void()>& call;
        QEventLoop& done;
        std::exception_ptr error;
    };

    void wait(const QString& caption, const std::function<void()>& call, Cancel cancel);
    std::exception_ptr attempt(const QString& caption, const std::function<void()>& call, Cancel cancel);
    void work();

    WebDAVClient& client_;
    QWidget* window_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Job* job_ = nullptr;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace ostrel::ui
