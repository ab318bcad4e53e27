// Loading the service libraries an INI file names: what is offered, what is
// refused with message 1080, and the list a station reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/app.h"
#include "services/service_libraries.h"
#include "services/service_sessions.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::services {
namespace {

namespace fs = std::filesystem;

std::string TestLibrary(const std::string& kind) {
  return std::string(TARVIK_BINARY_DIR) + "/test-services/test_service_" + kind + ".so";
}
std::string Guess() { return std::string(TARVIK_BINARY_DIR) + "/station-services/guess.so"; }

class ServiceLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tvk_services_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "TARVIK.MSG") << "1080 1 Service %s cannot be loaded: %s\n";
  }
  void TearDown() override {
    libraries.reset();
    fs::remove_all(dir);
  }
  // Loads the libraries of a [SERVICES] section.
  void Load(const std::string& services) {
    std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\nMYCALL=N0CALL\nMESSAGEFILE=" << (dir / "TARVIK.MSG").string()
                                      << "\n[SERVICES]\n" << services;
    ASSERT_TRUE(app.config().LoadConfiguration(dir / "TARVIK.INI"));
    libraries = std::make_unique<ServiceLibraries>(app);
    libraries->Load();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const ServiceListing& s : libraries->Listing()) names.push_back(s.name);
    return names;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> shown;
    for (const auto& d : tk.dialogLog()) shown.push_back(d.lines.empty() ? "" : d.lines[0]);
    return shown;
  }

  fs::path dir;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  core::App app{tk, core::StartupOptions{}};
  std::unique_ptr<ServiceLibraries> libraries;
};

TEST_F(ServiceLoading, BrokenLibrariesAreToldAndSkippedTheOthersOffered) {
  Load("SRV-0=GUESS;" + Guess() + ";Guess a number\n"
       "SRV-1=GONE;" + (dir / "nothing.so").string() + ";not there\n"
       "SRV-2=NOSEND;" + TestLibrary("no_send") + ";lacks an entry point\n"
       "SRV-3=BADVER;" + TestLibrary("bad_version") + ";a version it cannot have\n"
       "SRV-4=NOPATH\n"
       // A bare name is a file of the station directory: the system's own
       // libraries are never found by it.
       "SRV-5=LIBC;libc.so.6;the C library\n"
       "SRV-6=TEXT;" + (dir / "TARVIK.MSG").string() + ";no library at all\n"
       "SRV-7=PICKY;" + TestLibrary("picky") + ";members only\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"GUESS", "PICKY"}));
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "Service GONE cannot be loaded: library",
                            "Service NOSEND cannot be loaded: Entrypoint",
                            "Service BADVER cannot be loaded: Version",
                            "Service NOPATH cannot be loaded: library",
                            "Service LIBC cannot be loaded: library",
                            "Service TEXT cannot be loaded: library",
                        }));
}

TEST_F(ServiceLoading, KeysAreReadUpToTheFirstMissingNumber) {
  Load("SRV-0=GUESS;" + Guess() + ";Guess a number\nSRV-1=PICKY;" + TestLibrary("picky") +
       ";members only\nSRV-3=RUDE;" + TestLibrary("rude") + ";never read\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"GUESS", "PICKY"}));
}

TEST_F(ServiceLoading, TheListShowsNameVersionAndDescription) {
  Load("SRV-0=GUESS;" + Guess() + ";Guess a number\nSRV-1=PICKY;" + TestLibrary("picky") + ";members only\n");
  const std::string heading = "Service      Ver. Name            ";
  EXPECT_EQ(ServiceListText(libraries->Listing(), "No service defined", heading),
            heading + "\n" + std::string(49, '-') + "\n" + "GUESS        1.00 Guess a number" + std::string(50, ' ') +
                "\nPICKY        1.05 members only" + std::string(52, ' ') + "\n\n");
  EXPECT_EQ(ServiceListText({}, "No service defined", heading), "No service defined\n\n");
}

TEST_F(ServiceLoading, NamesAreComparedExactlyAndTheLibraryDecides) {
  Load("SRV-0=PICKY;" + TestLibrary("picky") + ";members only\n");
  EXPECT_EQ(libraries->Open(5, "picky", "DA1AAA").outcome, OpenOutcome::Unknown);
  const Opening refused = libraries->Open(5, "PICKY", "DB2BBB");
  EXPECT_EQ(refused.outcome, OpenOutcome::Refused);
  EXPECT_EQ(refused.text, "Members only, sorry");
  const Opening opened = libraries->Open(6, "PICKY", "DA1AAA");
  EXPECT_EQ(opened.outcome, OpenOutcome::Opened);
  EXPECT_EQ(opened.text, "Welcome, member");
  EXPECT_TRUE(ServiceSessions::Instance().Open(6));
  libraries->Close(opened.service, 6);
  EXPECT_FALSE(ServiceSessions::Instance().Open(6));
  // A service still open at the end takes nothing more from its library.
  ASSERT_EQ(libraries->Open(7, "PICKY", "DA1AAA").outcome, OpenOutcome::Opened);
  libraries->Unload();
  EXPECT_FALSE(ServiceSessions::Instance().Open(7));
  EXPECT_EQ(libraries->Open(6, "PICKY", "DA1AAA").outcome, OpenOutcome::NoServices);
}

}  // namespace
}  // namespace tarvik::services
