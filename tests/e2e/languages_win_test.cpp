// One pass over every window of the program in each language but English:
// a start-up error box, the main window with a test result, About, Option,
// the cable list and every editor it opens. Each shows its texts in the
// language and is pictured; whether the texts fit their controls is measured
// on the dialog templates in the Windows tests.
#include "scenario_win.h"

namespace {

struct Language {
  const char* name;
  int index;  // the settings file's Lang
  // In the order of the pass: the error box's caption and text; the main
  // window's caption, status bar parts, Start, result and log; About's
  // caption, status and product; Option's caption and language; the captions
  // of the cable list, the information, probe data and cable data editors,
  // Consecutive Number and Connection.
  std::vector<std::wstring> texts;
};

const Language kLanguages[] = {
    {"Japanese", 0,
     {L"エラー", L"Code 1027:\r\nポートがオンラインになりません。\r\n", L"Pinvoro[新規ケーブルデータ]",
      L"新規ケーブルデータ", L"通信ポート : 異常", L"開始", L"OK", L"全50ピンを検査し正常です\r\n", L"バージョン情報",
      L"通信ポート : 正常\r\nモード : 正常\r\n本体バージョン : 1.000",
      L"ケーブルチェッカー  Pinvoro\r\nVer.1.32 \r\nCopyright (C) 2026 株式会社 Vorkel\r\n株式会社 Vorkel",
      L"オプション", L"日本語", L"ケーブルデータ編集", L"ケーブル情報編集", L"プローブデータ編集", L"ケーブルデータ編集",
      L"連続番号", L"接続"}},
    {"Chinese", 1,
     {L"错误", L"Code 1027:\r\n端口不能被连通。\r\n", L"Pinvoro[新建电缆数据]", L"新建电缆数据", L"通讯端口 : 异常",
      L"开始", L"良", L"检查全50针正常\r\n", L"关于", L"通讯端口 : 正常\r\n模式 : 正常\r\n机箱版本 : 1.000",
      L"电缆检查机  Pinvoro\r\nVer.1.32 \r\nCopyright (C) 2026 株式会社 Vorkel\r\n株式会社 Vorkel", L"选项", L"中文",
      L"电缆数据编辑", L"电缆情报编辑", L"探针数据编辑", L"ケーブルデータ編集", L"连号", L"连接"}},
};

void PrintTo(const Language& language, std::ostream* os) { *os << language.name; }

class LanguagePass : public ProgramTest, public ::testing::WithParamInterface<Language> {};

TEST_P(LanguagePass, EveryWindowShowsItsTextsAndIsPictured) {
  const Language& l = GetParam();
  ASSERT_EQ(unit_.Do("dsr off"), "ok");
  ASSERT_EQ(unit_.Do("plug straight 50"), "ok");
  Start(SettingsIn(l.index), false);
  const std::optional<ProgramDialog> box = op_.WaitForDialog(IsMessageBox);
  ASSERT_TRUE(box.has_value());
  std::vector<std::wstring> seen{box->caption, box->text};
  Snapshot(box->hwnd, L"box");
  ASSERT_TRUE(Operator::Answer(box->hwnd, IDOK));
  HWND main = op_.WaitForWindow(L"MainWindowClass");
  ASSERT_NE(main, nullptr);
  ASSERT_EQ(unit_.Do("dsr on"), "ok");
  EXPECT_TRUE(FitsThePanel(main));
  seen.insert(seen.end(), {Caption(), Status(0), Status(1), TextOf(kOneOnOneStart)});
  EXPECT_TRUE(Run(kOneOnOneStart, [&] { return !TextOf(kResultBox).empty(); }));
  seen.insert(seen.end(), {TextOf(kResultBox), TextOf(kResultLog)});
  Snapshot(main, L"main");

  // Each window opened from the menu, or from an earlier one by its button
  // or key; `control` tells it, `texts` of its controls are read.
  const struct {
    WORD menu;
    int from, button;
    WORD key;
    int control;
    const wchar_t* name;
    int close;
    std::vector<int> texts;
  } windows[] = {{kMenuAbout, -1, 0, 0, kAboutStatus, L"about", IDOK, {kAboutStatus, kAboutProduct}},
                 {kMenuOption, -1, 0, 0, kLanguageList, L"option", IDCANCEL, {kLanguageList}},
                 {kMenuEditCableData, -1, 0, 0, kCableList, L"list", 0, {}},
                 {0, 2, kCableInfoButton, 0, kProductNoEdit, L"info", IDCANCEL, {}},
                 {0, 2, kProbeDataButton, 0, kPinCheckBase, L"probe", IDCANCEL, {}},
                 {0, 2, kCableDataButton, 0, kPinBox, L"editor", 0, {}},
                 {0, 5, kConsecutiveNumber, 0, kFixedName, L"number", IDCANCEL, {}},
                 {0, 5, 0, VK_F3, kConnectionPinName, L"connection", IDCANCEL, {}}};
  HWND opened[std::size(windows)] = {};
  for (size_t i = 0; i < std::size(windows); ++i) {
    const auto& w = windows[i];
    SCOPED_TRACE(Utf8(w.name));
    if (w.menu != 0) op_.ChooseMenu(w.menu);
    if (w.button != 0) Operator::Press(Operator::Control(opened[w.from], w.button));
    // F3 in the first pin's box.
    ASSERT_TRUE(w.key == 0 || (op_.Click(Operator::Control(opened[w.from], kPinBox)) && op_.PressKeys(opened[w.from], {w.key})));
    HWND window = opened[i] = WaitForDialog(nullptr, w.control);
    ASSERT_NE(window, nullptr);
    // About asks the unit for its version, and closes the link again.
    EXPECT_TRUE(w.menu != kMenuAbout || WaitUntil([&] {
      return TextIn(window, kAboutStatus).ends_with(L"1.000") && unit_.Do("dtr?") == "ok off";
    }));
    seen.push_back(Operator::Text(window));
    for (int id : w.texts) seen.push_back(TextIn(window, id));
    Snapshot(window, w.name);
    EXPECT_TRUE(w.close == 0 || Close(window, w.close));
  }
  EXPECT_TRUE(Close(opened[5], IDCANCEL));
  EXPECT_TRUE(Close(opened[2], 0, VK_ESCAPE));
  EXPECT_EQ(Caption(), seen[2]) << "nothing changed";
  EXPECT_EQ(seen, l.texts);
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguagePass, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& p) { return std::string(p.param.name); });

}  // namespace
