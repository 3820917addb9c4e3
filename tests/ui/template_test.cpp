// Construction of dialogs and controls, the in-memory template, and what the platform builds
// from it.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/display.h"
#include "tests/ui/ui_test_support.h"
#include "ui/gdi.h"

namespace kadro::test {
namespace {

// The template a dialog writes, read back the way the window system reads it.
platform::DialogTemplate Written(TDialog& dlg) {
    std::optional<platform::DialogTemplate> parsed = platform::ParseDialogTemplate(dlg.cToChar(0));
    EXPECT_TRUE(parsed.has_value()) << "the written template does not read back";
    return parsed.value_or(platform::DialogTemplate{});
}

class TemplateTest : public UiTest {
  protected:
    // Records the runtime errors raised from now on instead of raising them.
    void record_errors() {
        SetRuntimeErrorHandler([this](const RuntimeError& e) {
            m_errors.push_back(e);
            return RuntimeErrorResult{};
        });
    }

    std::vector<RuntimeError> m_errors;
};

TEST_F(TemplateTest, MainDialogAndLogViewTemplate) {
    TControl::nInitID.reset();
    MainLike main(1);  // a second log, so that the first must end where the next can start
    EXPECT_EQ(main.view->nId, 101);
    EXPECT_EQ(main.view->nStyle, 0x50A11804u);
    EXPECT_EQ(main.view->nExStyle, 0x200u);
    EXPECT_EQ(main.view->oWnd, main.dlg.get());
    ASSERT_EQ(main.dlg->aControls.size(), 2u);
    EXPECT_EQ(main.view->hWnd, platform::HWND{0});
    EXPECT_FALSE(main.dlg->hWnd.has_value());
    EXPECT_EQ(*main.dlg->cCaption, "KADRO 1.00 Test  (COM1:57600,N,8,1)");

    const platform::DialogTemplate t = Written(*main.dlg);
    EXPECT_EQ(t.style, 0u);
    EXPECT_EQ(t.ex_style, 0u);
    EXPECT_EQ((std::array{t.x, t.y, t.cx, t.cy}), (std::array<short, 4>{0, 0, 251, 251}));
    EXPECT_EQ(t.menu, "");
    EXPECT_EQ(t.class_name, "") << "the platform's dialog class";
    EXPECT_EQ(t.title, "KADRO 1.00 Test  (COM1:57600,N,8,1)");
    EXPECT_FALSE(t.has_font);
    ASSERT_EQ(t.items.size(), 2u);
    const platform::DialogItemTemplate& log = t.items[0];
    EXPECT_EQ(log.style, 0x50A11804u);
    EXPECT_EQ(log.ex_style, 0u) << "the extended style is applied by nobody";
    EXPECT_EQ((std::array{log.x, log.y, log.cx, log.cy}), (std::array<short, 4>{0, 0, 200, 80}));
    EXPECT_EQ(log.id, 101);
    EXPECT_EQ(log.class_name, "EDIT");
    EXPECT_EQ(log.class_atom, 0) << "the class goes by name";
    EXPECT_EQ(log.title, "");
    EXPECT_EQ(log.creation_data, "");
    EXPECT_EQ(t.items[1].id, 102);
    EXPECT_EQ(t.items[1].class_name, "EDIT");
}

TEST_F(TemplateTest, TitleGoesThroughTheOemCodePageAndOddLengthsArePadded) {
    // Five characters and the terminator leave the item that follows off its DWORD boundary
    // unless the writer pads.
    auto dlg = TDialog::New({.cCaption = "Caff\x82"});
    auto log = TMultiGet::New({.lReadOnly = true});
    platform::DialogTemplate t = Written(*dlg);
    EXPECT_EQ(t.title, "Caff\xE9") << "OEM 0x82 is e acute";
    ASSERT_EQ(t.items.size(), 1u);
    EXPECT_EQ(t.items[0].id, *log->nId);
    EXPECT_EQ(t.items[0].class_name, "EDIT");

    auto none = TDialog::New();
    t = Written(*none);
    EXPECT_EQ(t.title, "");
    EXPECT_TRUE(t.items.empty());
}

TEST_F(TemplateTest, ACaptionEndsAtANulAndTheItemsStillFollow) {
    // A NUL read into the port name once made the rest of the caption look like the items.
    auto dlg = TDialog::New({.cCaption = std::string("KADRO (COM1\0junk)", 17)});
    auto log = TMultiGet::New({.lReadOnly = true});
    const std::optional<platform::DialogTemplate> parsed =
        platform::ParseDialogTemplate(dlg->cToChar(0));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->title, "KADRO (COM1");
    ASSERT_EQ(parsed->items.size(), 1u);
    EXPECT_EQ(parsed->items[0].class_name, "EDIT");
}

TEST_F(TemplateTest, NewRectangleDefaultsAndPixels) {
    auto sized = TDialog::New({.nTop = 10, .nLeft = 20, .nWidth = 300, .nHeight = 200});
    EXPECT_EQ((std::array{sized->nTop, sized->nLeft, sized->nBottom, sized->nRight}),
              (std::array{10, 20, 200, 300}));

    auto rows = TDialog::New();  // 0, 0, 10, 40 in text rows and columns
    EXPECT_EQ((std::array{rows->nTop, rows->nLeft, rows->nBottom, rows->nRight}),
              (std::array{0, 0, 151, 316}));
    EXPECT_EQ(rows->nStyle, 0x80C80080u);
    EXPECT_TRUE(rows->lModify);
    EXPECT_EQ(rows->cVarName, "oDlg");
    EXPECT_EQ(ResultNumber(rows->nResult), 0);
    EXPECT_EQ(GETWNDDEFAULT(), rows) << "the newest dialog is the default parent";

    auto resizable = TDialog::New({.lResizable = true});
    EXPECT_EQ(resizable->nStyle, 0x80CF0080u);
}

TEST_F(TemplateTest, IdentifiersCountFrom101AndWrapAt30000) {
    TControl::nInitID.reset();
    EXPECT_EQ(TControl::GetNewId(), 101);
    EXPECT_EQ(TControl::GetNewId(), 102);
    TControl::nInitID = 29999;
    EXPECT_EQ(TControl::GetNewId(), 30000);
    EXPECT_EQ(TControl::GetNewId(), 100);
    EXPECT_EQ(TControl::GetNewId(), 101);
}

TEST_F(TemplateTest, DuplicatedIdIsRaisedAndTheControlIsNotRegistered) {
    record_errors();
    MainLike main;
    auto other_parent = TDialog::New();
    auto twin = TMultiGet::New({.lReadOnly = true});  // registers with other_parent
    twin->nId = main.view->nId;
    main.dlg->DefControl(twin);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0].DESCRIPTION, "Duplicated Id");
    EXPECT_EQ(m_errors[0].OPERATION,
              "No: " + std::string(6 - std::to_string(*twin->nId).size(), ' ') +
                  std::to_string(*twin->nId));
    EXPECT_EQ(m_errors[0].SUBSYSTEM, kWindowLayerSubsystem);
    EXPECT_EQ(main.dlg->aControls.size(), 1u);
}

TEST_F(TemplateTest, PlatformBuildsTheWindowFromTheTemplate) {
    MainLike main;
    platform::RECT client{}, item{}, fitted{}, window{};
    std::string cls;
    platform::LONG_PTR style = 0, ex_style = 0;
    bool was_visible = true;
    main.run([&] {
        platform::HWND h = main.dlg->window();
        was_visible = platform::IsWindowVisible(h);
        platform::GetClientRect(h, &client);
        platform::GetWindowRect(h, &window);
        platform::HWND child = platform::GetDlgItem(h, *main.view->nId);
        ASSERT_EQ(child, main.view->window());
        cls = platform::GetClassName(child);
        style = platform::GetWindowLongPtr(child, platform::GWL_STYLE);
        ex_style = platform::GetWindowLongPtr(child, platform::GWL_EXSTYLE);
        main.dlg->End();
    });
    // Checked here rather than inside the callback: the fitting has already run by then, so
    // read the template size from a dialog whose init callback does not fit.
    auto plain = TDialog::New({.nStyle = 0, .nWidth = 500, .nHeight = 500});
    auto log = TMultiGet::New({.lReadOnly = true});
    plain->Activate({.bInit = [&](TWindow& w) {
        platform::RECT r;
        platform::GetWindowRect(log->window(), &r);
        platform::POINT origin{r.left, r.top};
        platform::ScreenToClient(w.window(), &origin);
        item = {origin.x, origin.y, origin.x + r.width(), origin.y + r.height()};
        static_cast<TDialog&>(w).SetControl(log);
        platform::GetWindowRect(log->window(), &r);
        fitted = {0, 0, r.width(), r.height()};
        static_cast<TDialog&>(w).End();
        return EventResult{};
    }});

    EXPECT_FALSE(was_visible);
    EXPECT_EQ(client, (platform::RECT{0, 0, 502, 502}));
    EXPECT_EQ(cls, "Edit");
    EXPECT_EQ(style, 0x50A11804);
    EXPECT_EQ(ex_style, 0);
    EXPECT_EQ(item, (platform::RECT{0, 0, 400, 160})) << "200 x 80 dialog units at base 8, 16";
    EXPECT_EQ(fitted, (platform::RECT{0, 0, 504, 505})) << "client + 2 wide, client + 3 high";
    // Centred on the 1024 x 768 screen, each half rounded toward zero on its own: a window
    // 527 high gets 384 - 263 = 121, not (768 - 527) / 2 = 120.
    ASSERT_EQ(window.height(), 502 + platform::kCaptionHeight + 2 * platform::kFrameWidth);
    EXPECT_EQ(window.top, 384 - window.height() / 2);
    EXPECT_EQ(window.top, 121);
    EXPECT_EQ(window.left, 512 - window.width() / 2);
    EXPECT_EQ(ResultNumber(main.dlg->nResult), 2);
}

TEST_F(TemplateTest, ContextHelpButtonUnlessSwitchedOff) {
    auto ex_style_when_shown = [](std::optional<bool> help_icon) {
        auto dlg = TDialog::New({.nWidth = 100, .nHeight = 100});
        dlg->lHelpIcon = help_icon;
        platform::LONG_PTR ex_style = -1;
        TDialog* d = dlg.get();
        dlg->bStart = [&, d] {
            ex_style = platform::GetWindowLongPtr(d->window(), platform::GWL_EXSTYLE);
            d->End();
        };
        dlg->Activate();
        return ex_style;
    };
    EXPECT_EQ(ex_style_when_shown(false) & platform::WS_EX_CONTEXTHELP, 0);
    EXPECT_NE(ex_style_when_shown(std::nullopt) & platform::WS_EX_CONTEXTHELP, 0);
}

TEST_F(TemplateTest, WindowThatCannotBeCreatedRaisesCannotCreateDialogBox) {
    record_errors();
    auto dlg = TDialog::New({.cCaption = "Broken"});
    dlg->cResData = std::string("\x01\x02\x03", 3);
    bool init_ran = false;
    dlg->Activate({.bInit = [&](TWindow&) {
        init_ran = true;
        return EventResult{};
    }});
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0].DESCRIPTION, "Cannot create Dialog Box");
    EXPECT_EQ(m_errors[0].OPERATION, "\r\n" + std::string(22, ' ') + "Title: Broken");
    EXPECT_EQ(m_errors[0].SEVERITY, 3);
    EXPECT_FALSE(m_errors[0].CANDEFAULT);
    EXPECT_FALSE(init_ran);
    EXPECT_EQ(ResultNumber(dlg->nResult), -1);
    EXPECT_FALSE(dlg->lVisible);

    // Without a handler the error still gets out, and the layer's state is put back.
    SetRuntimeErrorHandler({});
    EXPECT_THROW(dlg->Activate(), RuntimeErrorException);
}

TEST_F(TemplateTest, ControlMissingFromTheTemplateRaisesNonDefinedId) {
    record_errors();
    MainLike main;
    main.dlg->cResData = main.dlg->cToChar(0);  // built before the second control exists
    auto late = TMultiGet::New({.lReadOnly = true});
    main.run([&] { main.dlg->End(); });
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0].DESCRIPTION, "Non defined Id");
    EXPECT_EQ(late->window(), platform::HWND{0});
    EXPECT_EQ(main.view->window(), platform::HWND{0}) << "destroyed with the dialog";
}

}  // namespace
}  // namespace kadro::test
