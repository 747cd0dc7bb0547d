#include "host/forms/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace host {
namespace {

// Records its own destruction so tests can see who freed whom, and when.
class TTracked : public TComponent {
 public:
  TTracked(TComponent* AOwner, std::vector<std::string>* Log, std::string Tag)
      : TComponent(AOwner), FLog(Log), FTag(std::move(Tag)) {}
  ~TTracked() override { FLog->push_back(FTag); }
  void Loaded() override {
    FLoadingSeenInLoaded = InState(csLoading);
    TComponent::Loaded();
    FLog->push_back(FTag + ".Loaded");
  }
  bool FLoadingSeenInLoaded = false;

 private:
  std::vector<std::string>* FLog;
  std::string FTag;
};

TEST(ComponentTest, OwnerFreesOwnedComponentsLastFirst) {
  std::vector<std::string> Log;
  {
    TTracked Root(nullptr, &Log, "root");
    new TTracked(&Root, &Log, "a");
    auto* B = new TTracked(&Root, &Log, "b");
    new TTracked(B, &Log, "b1");
    EXPECT_EQ(Root.ComponentCount(), 2);
    EXPECT_EQ(B->Owner(), &Root);
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"root", "b", "b1", "a"}));
}

TEST(ComponentTest, ExplicitFreeLeavesOwnersList) {
  std::vector<std::string> Log;
  TTracked Root(nullptr, &Log, "root");
  TTracked* A = new TTracked(&Root, &Log, "a");
  auto* B = new TTracked(&Root, &Log, "b");
  FreeAndNil(A);
  EXPECT_EQ(A, nullptr);
  ASSERT_EQ(Root.ComponentCount(), 1);
  EXPECT_EQ(Root.Components(0), B);
  EXPECT_THROW(Root.Components(1), EListError);
  EXPECT_THROW(Root.Components(-1), EListError);
}

TEST(ComponentTest, InsertingMovesAComponentBetweenOwners) {
  TComponent A(nullptr), B(nullptr);
  auto* C = new TComponent(&A);
  B.InsertComponent(C);
  EXPECT_EQ(C->Owner(), &B);
  EXPECT_EQ(A.ComponentCount(), 0);
  EXPECT_EQ(B.ComponentCount(), 1);
}

TEST(ComponentTest, NamesAreIdentifiersUniqueWithinTheOwner) {
  TComponent Root(nullptr);
  auto* A = new TComponent(&Root);
  auto* B = new TComponent(&Root);
  A->SetName("Timer1");
  EXPECT_EQ(Root.FindComponent("TIMER1"), A);
  EXPECT_THROW(B->SetName("timer1"), EComponentError);
  EXPECT_THROW(B->SetName("1Timer"), EComponentError);
  EXPECT_THROW(B->SetName("Ti mer"), EComponentError);
  EXPECT_EQ(B->Name(), "");
  B->SetName("_Timer2");
  EXPECT_EQ(Root.FindComponent("_timer2"), B);
  A->SetName("Timer1");  // its own name again is no clash
  EXPECT_EQ(Root.FindComponent(""), nullptr);
}

TEST(ComponentTest, DesigningReachesOwnedComponentsIncludingLaterOnes) {
  TComponent Root(nullptr);
  auto* Early = new TComponent(&Root);
  Root.SetDesigning(true);
  auto* Late = new TComponent(&Root);
  EXPECT_TRUE(Early->InState(csDesigning));
  EXPECT_TRUE(Late->InState(csDesigning));
  Root.SetDesigning(false, false);
  EXPECT_FALSE(Root.InState(csDesigning));
  EXPECT_TRUE(Late->InState(csDesigning));
}

TEST(ComponentTest, ReadComponentLoadsThenCallsLoaded) {
  std::vector<std::string> Log;
  TTracked C(nullptr, &Log, "c");
  bool LoadingDuringRead = false;
  ReadComponent(C, [&] { LoadingDuringRead = C.InState(csLoading) && C.InState(csReading); });
  EXPECT_TRUE(LoadingDuringRead);
  EXPECT_TRUE(C.FLoadingSeenInLoaded);
  EXPECT_FALSE(C.InState(csLoading));
  EXPECT_FALSE(C.InState(csReading));
  EXPECT_EQ(Log, (std::vector<std::string>{"c.Loaded"}));
}

TEST(ComponentTest, FailedReadClearsStateWithoutLoaded) {
  std::vector<std::string> Log;
  TTracked C(nullptr, &Log, "c");
  EXPECT_THROW(ReadComponent(C, [] { throw EReadError("bad property"); }), EReadError);
  EXPECT_EQ(C.ComponentState(), 0u);
  EXPECT_TRUE(Log.empty());
}

}  // namespace
}  // namespace host
