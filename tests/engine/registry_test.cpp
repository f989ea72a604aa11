#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "components/panel.h"
#include "engine/osd.h"
#include "platform/canvas.h"
#include "tests/support/frame_probe.h"

namespace vx {
namespace {

using test::U16;

class RegistryTest : public ::testing::Test {
 protected:
  TOSDObject *Find(std::string_view name) { return osd.Registry().Find(name); }
  std::vector<std::string> Order() {
    std::vector<std::string> names;
    for (int i = 0; i < osd.Registry().Count(); ++i) names.push_back(osd.Registry().Items(i)->name);
    return names;
  }
  TOSD osd;
};

TEST_F(RegistryTest, EngineStartsEmptyWithA640x480Frame) {
  EXPECT_EQ(osd.Registry().Count(), 0);
  EXPECT_EQ(osd.Registry().Items(0), nullptr);
  EXPECT_EQ(Find("a"), nullptr);
  EXPECT_EQ(osd.Frame().Width(), 640);
  EXPECT_EQ(osd.Frame().Height(), 480);
  EXPECT_EQ(osd.Frame().PixelFormat(), TPixelFormat::pf8bit);
}

TEST_F(RegistryTest, RootIsReservedButCaseMatters) {
  EXPECT_FALSE(osd.AddComponent("root", eosdPanel));
  EXPECT_EQ(osd.Registry().Count(), 0);
  EXPECT_TRUE(osd.AddComponent("Root", eosdPanel));
  ASSERT_NE(Find("Root"), nullptr);
  EXPECT_EQ(Find("root"), nullptr);
  EXPECT_FALSE(osd.SetComponent_Pos("root", 1, 2, 3, 4));
}

TEST_F(RegistryTest, KindIsReadFromTheLowByte) {
  EXPECT_FALSE(osd.AddComponent("k5", 5));
  EXPECT_FALSE(osd.AddComponent("k255", 255));
  EXPECT_EQ(osd.Registry().Count(), 0);
  EXPECT_TRUE(osd.AddComponent("k256", 256));
  ASSERT_NE(Find("k256"), nullptr);
  EXPECT_EQ(Find("k256")->mode, eosdPanel);
  EXPECT_NE(dynamic_cast<TOSDPanel *>(Find("k256")), nullptr);
}

TEST_F(RegistryTest, NewestIsFrontAndHidesNamesakes) {
  ASSERT_TRUE(osd.AddComponent("A", eosdPanel));
  ASSERT_TRUE(osd.AddComponent("B", eosdPanel));
  ASSERT_TRUE(osd.AddComponent("C", eosdPanel));
  EXPECT_EQ(Order(), (std::vector<std::string>{"C", "B", "A"}));

  ASSERT_TRUE(osd.AddComponent("A", eosdPanel));
  TOSDObject *older = osd.Registry().Items(3);
  TOSDObject *newer = osd.Registry().Items(0);
  EXPECT_TRUE(osd.SetComponent_Pos("A", 10, 20, 30, 40));
  EXPECT_EQ(newer->x, 10);
  EXPECT_EQ(newer->h, 40);
  EXPECT_EQ(older->x, 0);
  EXPECT_TRUE(osd.DelComponent("A"));
  EXPECT_EQ(Find("A"), older);
  EXPECT_EQ(Order(), (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_TRUE(osd.DelComponent("A"));
  EXPECT_FALSE(osd.DelComponent("A"));
  EXPECT_EQ(Order(), (std::vector<std::string>{"C", "B"}));
}

TEST_F(RegistryTest, PositionIsStoredAsGivenWithoutRedraw) {
  ASSERT_TRUE(osd.AddComponent("p", eosdPanel));
  EXPECT_TRUE(osd.SetComponent_Pos("p", -100, 5000, -3, 2000000000));
  TOSDObject *p = Find("p");
  EXPECT_EQ(p->x, -100);
  EXPECT_EQ(p->y, 5000);
  EXPECT_EQ(p->w, -3);
  EXPECT_EQ(p->h, 2000000000);
  EXPECT_TRUE(p->Empty());
  EXPECT_FALSE(osd.SetComponent_Pos("q", 1, 1, 1, 1));
}

TEST_F(RegistryTest, ColorOfRootRecordsOnlyALevel) {
  ASSERT_TRUE(osd.AddComponent("p", eosdPanel));
  EXPECT_TRUE(osd.SetComponent_Color("root", kKeyColor, 0));
  EXPECT_EQ(osd.Frame().ColorLevels(), (std::vector<std::string>{"root=00,FA"}));
  EXPECT_EQ(Find("p")->bkcolor, 0);
  EXPECT_EQ(osd.Frame().BuildCardPalette()[4 * kKeyIndex], 0);
}

TEST_F(RegistryTest, ColorOfUnregisteredNameRecordsNothing) {
  EXPECT_FALSE(osd.SetComponent_Color("ghost", clRed, 5));
  EXPECT_TRUE(osd.Frame().ColorLevels().empty());
}

TEST_F(RegistryTest, ColorOfPanelStoresPairAndRecordsLevel) {
  ASSERT_TRUE(osd.AddComponent("p", eosdPanel));
  EXPECT_TRUE(osd.SetComponent_Color("p", clBlue, 0x40));
  EXPECT_EQ(Find("p")->bkcolor, clBlue);
  EXPECT_EQ(Find("p")->bklevel, 0x40);
  EXPECT_EQ(osd.Frame().ColorLevels(), (std::vector<std::string>{"p=40,FC"}));
  EXPECT_TRUE(osd.SetComponent_Color("p", clBlue, 999));  // clamped
  EXPECT_EQ(osd.Frame().ColorLevels(), (std::vector<std::string>{"p=FF,FC"}));
  EXPECT_EQ(Find("p")->bklevel, 999);  // the component keeps the value as given
}

TEST_F(RegistryTest, DeleteDropsLevelsIgnoringCaseEvenWithoutComponent) {
  osd.SetComponent_Color("root", kKeyColor, 0);
  ASSERT_TRUE(osd.AddComponent("Title", eosdPanel));
  ASSERT_TRUE(osd.AddComponent("title", eosdPanel));
  osd.SetComponent_Color("Title", clRed, 1);
  osd.SetComponent_Color("title", clBlue, 2);
  EXPECT_FALSE(osd.DelComponent("TITLE"));  // no such component, levels still go
  EXPECT_EQ(osd.Frame().ColorLevels(), (std::vector<std::string>{"root=00,FA"}));
  EXPECT_EQ(osd.Registry().Count(), 2);
}

TEST_F(RegistryTest, FontSetsFaceSizeAndColourOnTheComponentCanvas) {
  ASSERT_TRUE(osd.AddComponent("p", eosdPanel));
  EXPECT_TRUE(osd.SetComponent_Font("p", U16("宋体"), clYellow, 24));
  const TFont &font = Find("p")->Canvas().Font;
  EXPECT_EQ(font.Name, "宋体");
  EXPECT_EQ(font.Size(), 24);
  EXPECT_EQ(font.Color, clYellow);
  EXPECT_FALSE(osd.SetComponent_Font("q", U16("Arial"), 0, 10));
}

TEST_F(RegistryTest, VisibleTakesTheSecondFlag) {
  ASSERT_TRUE(osd.AddComponent("p", eosdPanel));
  osd.SetComponent_Pos("p", 0, 0, 6, 4);
  EXPECT_TRUE(osd.SetComponent_Visible("p", false, true));
  EXPECT_TRUE(Find("p")->visible);
  EXPECT_EQ(Find("p")->Width(), 6);  // the panel drew itself
  EXPECT_TRUE(osd.SetComponent_Visible("p", true, false));
  EXPECT_FALSE(Find("p")->visible);
  EXPECT_FALSE(osd.SetComponent_Visible("q", true, true));
}

TEST_F(RegistryTest, RowsThatDoNotApplyToAPanelChangeNothing) {
  ASSERT_TRUE(osd.AddComponent("p", eosdPanel));
  osd.SetComponent_Pos("p", 1, 2, 3, 4);
  const TFiveColors five = {clRed, clBlue, clLime, clWhite, clBlack};
  TRect rect{7, 7, 7, 7};
  EXPECT_FALSE(osd.SetComponent_Text("p", U16("hello")));
  EXPECT_FALSE(osd.SetComponent_TextMode("p", 1));
  EXPECT_FALSE(osd.SetComponent_TextStep("p", 3));
  EXPECT_FALSE(osd.SetComponent_TextScroll("p", 3));
  EXPECT_FALSE(osd.SetComponent_TextGradual("p", clRed, clBlue));
  EXPECT_FALSE(osd.SetComponent_TextHtml("p", true));
  EXPECT_FALSE(osd.SetComponent_RandomColor("p", five));
  EXPECT_FALSE(osd.SetComponent_RandomTextColor("p", five));
  EXPECT_FALSE(osd.GetComponent_TextRect("p", U16("x"), rect));
  EXPECT_FALSE(osd.SetComponent_PicFile("p", U16("/tmp/x.bmp")));
  EXPECT_FALSE(osd.SetComponent_PicSplitFile("p", U16("/tmp/x.bmp"), 2));
  EXPECT_FALSE(osd.SetComponent_PicSplitTextPos("p", 1, 2));
  EXPECT_FALSE(osd.SetComponent_PicSplitShow("p", 1));
  EXPECT_FALSE(osd.SetComponent_PicMovie("p", U16("/tmp/x%d.bmp"), 1, 2));
  EXPECT_FALSE(osd.SetComponent_PicTime("p", 10));
  EXPECT_FALSE(osd.SetComponent_MovieTime("p", 10, true));
  EXPECT_EQ(rect, (TRect{7, 7, 7, 7}));
  EXPECT_TRUE(Find("p")->text.empty());
  EXPECT_TRUE(osd.Frame().ColorLevels().empty());  // RandomColor recorded nothing
  EXPECT_EQ(Find("p")->x, 1);
}

TEST_F(RegistryTest, PanelTimeIsStoredWithoutEffect) {
  ASSERT_TRUE(osd.AddComponent("p", eosdPanel));
  EXPECT_TRUE(osd.SetComponent_Time("p", 1234));
  auto *p = dynamic_cast<TOSDPanel *>(Find("p"));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->showtime, 1234);
  EXPECT_FALSE(p->visible);
  EXPECT_TRUE(p->Empty());
}

TEST_F(RegistryTest, TextFileOnlyLooksTheNameUp) {
  ASSERT_TRUE(osd.AddComponent("p", eosdPanel));
  EXPECT_TRUE(osd.SetComponent_TextFile("p", 42));
  EXPECT_FALSE(osd.SetComponent_TextFile("q", 42));
  EXPECT_EQ(osd.Registry().Count(), 1);
}

TEST_F(RegistryTest, EmptyNameIsAnOrdinaryName) {
  EXPECT_TRUE(osd.AddComponent("", eosdPanel));
  EXPECT_TRUE(osd.SetComponent_Pos("", 3, 3, 3, 3));
  EXPECT_EQ(Find("")->x, 3);
}

// Components are owned by the registry: deleting one, or clearing, destroys it.
class Tracked : public TOSDObject {
 public:
  explicit Tracked(int &alive) : alive_(alive) { ++alive_; }
  ~Tracked() override { --alive_; }

 private:
  int &alive_;
};

TEST(ObjListTest, OwnsAndDestroysItsComponents) {
  int alive = 0;
  {
    TOSDObjList list;
    for (const char *n : {"a", "b", "a"}) {
      auto t = std::make_unique<Tracked>(alive);
      t->name = n;
      list.Add(std::move(t));
    }
    EXPECT_EQ(alive, 3);
    EXPECT_TRUE(list.Delete("a"));
    EXPECT_EQ(alive, 2);
    EXPECT_EQ(list.Items(0)->name, "b");
    EXPECT_FALSE(list.Delete("zz"));
    list.Clear();
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(list.Count(), 0);
    auto t = std::make_unique<Tracked>(alive);
    list.Add(std::move(t));
  }
  EXPECT_EQ(alive, 0);  // the list's destruction destroyed the last one
}

// The indexed registry against a plain front-to-back list: the same order, the same
// component found and deleted for every name, whatever mix of namesakes a host makes.
TEST(ObjListTest, BehavesLikeAPlainListUnderRandomOperations) {
  const std::vector<std::string> names = {"a", "A", "b", "", "title", "a=b"};
  std::mt19937 rng(2024);
  int alive = 0;
  for (int run = 0; run < 50; ++run) {
    TOSDObjList list;
    std::vector<TOSDObject *> plain;  // front first
    auto find = [&](const std::string &name) -> std::vector<TOSDObject *>::iterator {
      return std::find_if(plain.begin(), plain.end(),
                          [&](TOSDObject *c) { return c->name == name; });
    };
    for (int step = 0; step < 200; ++step) {
      const std::string &name = names[rng() % names.size()];
      switch (rng() % 5) {
        case 0:
        case 1: {
          auto t = std::make_unique<Tracked>(alive);
          t->name = name;
          plain.insert(plain.begin(), t.get());
          list.Add(std::move(t));
          break;
        }
        case 2: {
          auto it = find(name);
          EXPECT_EQ(list.Delete(name), it != plain.end());
          if (it != plain.end()) plain.erase(it);
          break;
        }
        case 3: {
          auto it = find(name);
          EXPECT_EQ(list.Find(name), it != plain.end() ? *it : nullptr);
          break;
        }
        default:
          if (rng() % 20 == 0) {
            list.Clear();
            plain.clear();
          } else if (!plain.empty()) {  // a position at random, then a walk
            const int at = static_cast<int>(rng() % plain.size());
            EXPECT_EQ(list.Items(at), plain[at]);
          }
      }
      ASSERT_EQ(list.Count(), static_cast<int>(plain.size()));
      ASSERT_EQ(alive, list.Count());
    }
    std::vector<TOSDObject *> walked, visited;
    for (int i = 0; i < list.Count(); ++i) walked.push_back(list.Items(i));
    list.ForEach([&](TOSDObject &c) { visited.push_back(&c); });
    EXPECT_EQ(walked, plain) << "run " << run;
    EXPECT_EQ(visited, plain) << "run " << run;
  }
  EXPECT_EQ(alive, 0);
}

}  // namespace
}  // namespace vx
