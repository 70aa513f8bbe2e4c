#pragma once

// The program side together with the built archiver module, in a private extraction folder.

#include "ImageTestDoubles.h"
#include "core/app/Paths.h"
#include "core/image/ArchiverModule.h"
#include "core/image/ImageDocument.h"
#include "core/image/OpenArchive.h"
#include "support/LhaFixtures.h"

#include <gtest/gtest.h>

namespace pexo::test {

class RealArchiverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module = ArchiverModule::load(archiverModulePath()).release(); }
    static void TearDownTestSuite() {
        delete module;
        module = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(module, nullptr) << "the archiver module was not built at "
                                   << archiverModulePath();
        const std::string base = scratch.str();
        previous = setPathEnvironment(
            {[base] { return base + "/bin/pexo"; }, [base] { return base + "/cache/pexo"; }});
        folder = resolvePath(PathKind::ExtractFolder).value_or("");
    }
    void TearDown() override { setPathEnvironment(previous); }

    bool open(const std::string& archive) {
        host.messages.clear();
        progress.calls.clear();
        return openArchive(document, archive, {host, module, &progress});
    }

    static ArchiverModule* module;
    ScratchFolder scratch;
    PathEnvironment previous;
    std::string folder;
    RecordingHost host;
    RecordingProgress progress;
    ImageDocument document;
};

inline ArchiverModule* RealArchiverTest::module = nullptr;

} // namespace pexo::test
