#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/Error.h"
#include "platform/Files.h"
#include "ui/CommandSteps.h"

using namespace ostrel;
using ui::JobProgress;

TEST(CommandSteps, CancelStopsTheStepUnderWayAndNoStepBeginsAfterItUntilItIsWithheld) {
    JobProgress job;
    int stops = 0;
    job.begin([] { return JobProgress::Report{"GET /a", "Sent 0 octets"}; }, [&stops] { ++stops; });
    job.cancel();
    EXPECT_EQ(stops, 1);
    try {
        job.begin([] { return JobProgress::Report{"Writing", {}}; });
        ADD_FAILURE() << "a step began after a Cancel";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), errors::kHttpCancelled);
        EXPECT_EQ(error.headline(), "Cancelled");
        EXPECT_EQ(error.details(), "GET /a");
    }
    // The request went through all the same: the Cancel came too late, and no other is taken.
    job.withholdCancel();
    job.cancel();
    EXPECT_EQ(stops, 1);
    EXPECT_NO_THROW(job.stopIfCancelled());
    EXPECT_FALSE(job.report().cancellable);
}

TEST(CommandSteps, AResultFileWrittenButNotPutInPlaceLeavesThePreviousOne) {
    QTemporaryDir scratch;
    const std::string path = (scratch.path() + "/result.xml").toStdString();
    files::writeFileAtomically(path, "<previous/>");
    {
        ui::ResultFile cancelled(path);
        cancelled.write(XmlDocument::fromBytes("<new/>"));
        EXPECT_TRUE(cancelled.readBack().document.hasChildNodes());
    }
    EXPECT_EQ(files::readAll(path), "<previous/>");
    EXPECT_FALSE(files::exists(path + ".new"));
    // A Cancel that came as the request ended stops the job before the result file is touched.
    JobProgress job;
    job.cancel();
    EXPECT_THROW(ui::resultPage(job, XmlDocument::fromBytes("<new/>"), path), Error);
    EXPECT_EQ(files::readAll(path), "<previous/>");
}
