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

#include "ui/JobProgress.h"

class QEventLoop;
class QWidget;

namespace ostrel::ui {

// Runs the commands' jobs one at a time on one worker thread while the user-interface thread keeps painting.
// A job is all a command does off the user-interface thread (its requests, writing and reading the result
// file), a row of steps that report through one JobProgress. The command waits in place, so its steps keep
// their order; meanwhile no input reaches any window but the progress dialog (shown after a moment), which
// names the step under way and whose Cancel stops the job. The job's result, or its error, crosses back once
// when it ends; the error is raised again on the user-interface thread.
//
// What a job uses is used by one thread at a time: by the worker while the job runs; the user-interface
// thread touches it only between jobs (and through what the steps give JobProgress to report and stop).
class JobRunner : public QObject {
    Q_OBJECT
public:
    explicit JobRunner(QWidget* window);
    ~JobRunner() override;
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Runs job(JobProgress&) on the worker and returns its result, or raises its error; caption names the
    // command.
    template <typename Job>
    auto run(const QString& caption, Job&& job) {
        using Result = std::invoke_result_t<Job&, JobProgress&>;
        if constexpr (std::is_void_v<Result>) {
            wait(caption, [&](JobProgress& progress) { job(progress); });
        } else {
            std::optional<Result> result;
            wait(caption, [&](JobProgress& progress) { result.emplace(job(progress)); });
            return std::move(*result);
        }
    }

    // Told on the user-interface thread once a command's job is back: a failure may be answered by running
    // it once more (true), which is asked once; a success lets the window remember what it used.
    std::function<bool(const std::exception_ptr&)> retryAfterFailure;
    std::function<void()> afterSuccess;

private:
    using Call = std::function<void(JobProgress&)>;
    // One job handed to the worker: it runs call, keeps its error, and quits done when it has let go.
    struct Job {
        const Call& call;
        QEventLoop& done;
        JobProgress progress;
        std::exception_ptr error;
    };

    void wait(const QString& caption, const Call& call);
    std::exception_ptr attempt(const QString& caption, const Call& call);
    void work();

    QWidget* window_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Job* job_ = nullptr;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace ostrel::ui
