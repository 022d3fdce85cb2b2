#include "about/about_form_win.hpp"

#include <algorithm>
#include <string>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "base/handle_win.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "settings/helpers.hpp"
#include "settings/navigation_win.hpp"
#include "settings/text_file.hpp"
#include "settings/toolbar_settings.hpp"
#include "toolkit/dpi_win.hpp"

namespace tb {
namespace {

// The form's design, in pixels at 96 DPI: the box scales it (and the template's size) to its screen.
constexpr int kDesignWidth = 503;
constexpr int kDesignHeight = 367;
constexpr int kButtonPanelHeight = 42;
constexpr int kLogoPanelWidth = 132;
constexpr int kMargin = 8;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 26;
constexpr int kLogoOffset = 16;
constexpr COLORREF kLinkColor = RGB(0, 0, 204);

bool WideFileExists(const std::u16string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The whole file (a Unicode path); FileOpenError when it exists but cannot be read.
std::string ReadWideFile(const std::u16string& path) {
    UniqueFile file(CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    const auto fail = [&] { throw FileOpenError(CannotOpenMessage(Utf16ToAnsi(path), LastSystemError())); };
    if (!file) fail();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF) fail();
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))) {
        fail();
    }
    bytes.resize(read);
    return bytes;
}

int PixelsOfPoints(int points) { return MulDiv(std::max(points, 1), ScreenDpi(), 72); }

bool IsNtFamily() { return (GetVersion() & 0x80000000u) == 0; }

std::u16string CurrentYear() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::string year = std::to_string(now.wYear);
    return std::u16string(year.begin(), year.end());
}

}  // namespace

TFormAbout::TFormAbout() {
    OnCreate = [this] { FormCreate(); };
    OnShow = [this] { FormShow(); };
    OnResize = [this] { LayOut(); };
}

TFormAbout::~TFormAbout() { DestroyForm(); }

bool TFormAbout::Construct() {
    const int dpi = WindowDpi(nullptr);  // a window of its own, on the screen's scale until it exists
    return CreateDialogWindow(Scaled(kDesignWidth, dpi), Scaled(kDesignHeight, dpi));
}

int TFormAbout::Px(int design_pixels) const { return Scaled(design_pixels, WindowDpi(Handle())); }

void TFormAbout::CreateDialogComponents() {
    HWND form = Handle();
    SetCaption(u"About Toolbar");

    PanelButton.Create(form);
    ButtonClose.ParentControl = &PanelButton;
    ButtonClose.Create(PanelButton.Handle(), IDCANCEL);
    ButtonClose.SetCaption(u"&Close");
    ButtonClose.OnClick = [this] { RunHandler([this] { ButtonCloseClick(); }); };

    MemoCopyright.Create(form);
    MemoCopyright.ParentColor = false;
    SendMessageW(MemoCopyright.Handle(), EM_SETLIMITTEXT, 0, 0);

    PanelLogo.Create(form);
    PanelBrand.Create(form);
    for (TLabel* label : {&LabelToolbarName, &LabelToolbarVersion, &LabelCopyright, &LabelPreparerInfo,
                          &LabelDescription, &LabelHomePageURL}) {
        label->ParentControl = &PanelBrand;
        label->Create(PanelBrand.Handle());
    }
    LabelToolbarName.Hint = u"Toolbar";
    LabelToolbarVersion.Hint = u"Version";
    LabelPreparerInfo.Hint = u"Prepared for you";
    LabelDescription.Hint = u"A browser toolbar";
    LabelHomePageURL.Hint = u"Home page";
    // The name and version have fonts of their own; the home page looks like a link.
    LabelToolbarName.ParentFont = false;
    LabelToolbarName.SetFont(FontFace{u"MS Shell Dlg 2", 10, true});
    LabelToolbarVersion.ParentFont = false;
    LabelToolbarVersion.SetFont(FontFace{u"MS Shell Dlg 2", 10});
    LabelHomePageURL.ParentFont = false;
    LabelHomePageURL.SetFont(FontFace{u"MS Shell Dlg 2", 8, false, true, kLinkColor});
    LabelHomePageURL.Cursor = crHandPoint;
    LabelHomePageURL.OnClick = [this] { RunHandler([this] { LabelHomePageURLClick(); }); };

    ImageLogo.ParentControl = &PanelLogo;
    ImageLogo.Create(PanelLogo.Handle());
    SetWindowPos(ImageLogo.Handle(), nullptr, Px(kLogoOffset), Px(kLogoOffset), 0, 0, SWP_NOZORDER | SWP_NOACTIVATE);
    LabelCredits.ParentControl = &PanelBrand;
    LabelCredits.Create(PanelBrand.Handle());
    LabelCredits.SetCaption(u"Thank you for using this toolbar.");

    for (TDialogControl* control : std::initializer_list<TDialogControl*>{
             &PanelButton, &ButtonClose, &MemoCopyright, &PanelLogo, &PanelBrand, &LabelToolbarName,
             &LabelToolbarVersion, &LabelCopyright, &LabelPreparerInfo, &LabelDescription, &LabelHomePageURL,
             &ImageLogo, &LabelCredits}) {
        AddDialogControl(*control);
    }
    PassOnParentProperties();
    LayOut();
}

// The design's layout: the close button's strip at the bottom, the logo on the left, the labels on
// the right with the copyright text below them. Label heights follow their fonts.
void TFormAbout::LayOut() {
    if (PanelButton.Handle() == nullptr) return;
    const int width = ClientWidth();
    const int height = ClientHeight();
    const int margin = Px(kMargin);
    const int button_panel = Px(kButtonPanelHeight);
    const int logo_panel = Px(kLogoPanelWidth);
    const int body = std::max(0, height - button_panel);
    PanelButton.SetBounds(0, body, width, button_panel);
    const int button_width = Px(kButtonWidth);
    ButtonClose.SetBounds(std::max(margin, width - margin - button_width), margin, button_width, Px(kButtonHeight));
    PanelLogo.SetBounds(0, 0, logo_panel, body);

    const int labels_width = std::max(0, width - logo_panel - 2 * margin);
    int top = margin;
    const auto place = [&](TLabel& label, int lines) {
        // The fonts are made for the screen's scale (dialog_controls_win.hpp), so are their lines.
        const int line = PixelsOfPoints(label.Font().size) + Px(5);
        label.SetBounds(margin, top, labels_width, line * lines);
        top += line * lines + Px(2);
    };
    place(LabelToolbarName, 1);
    place(LabelToolbarVersion, 1);
    place(LabelCopyright, 1);
    place(LabelPreparerInfo, 1);
    place(LabelDescription, 2);
    place(LabelHomePageURL, 1);
    place(LabelCredits, 1);
    PanelBrand.SetBounds(logo_panel, 0, std::max(0, width - logo_panel), top + margin);
    const int memo_top = top + margin;
    MemoCopyright.SetBounds(logo_panel + margin, memo_top, labels_width, std::max(0, body - memo_top - Px(4)));
}

// --- handlers

void TFormAbout::FormCreate() {
    for (TComponent* component : Components()) {
        if (component->ControlHandle() != nullptr && component->Cursor == crHandPoint) component->Cursor = kHandCursor;
    }
    FontFace font = Font();
    font.name = IsNtFamily() ? u"MS Shell Dlg 2" : u"MS Shell Dlg";
    SetFont(font);
    FillBox();
}

void TFormAbout::FormShow() { FillBox(); }

void TFormAbout::ButtonCloseClick() { Close(); }

void TFormAbout::LabelHomePageURLClick() {
    ShellOpen(CurrentSettings().HomePageUrl);
    Close();
}

void TFormAbout::FillBox() {
    const ToolbarSettings s = CurrentSettings();
    const auto either = [](const std::u16string& value, const std::u16string& fallback) {
        return value.empty() ? fallback : value;
    };
    SetCaption(either(s.AboutCaption, u"About Toolbar"));
    if (!s.AboutButtonCaption.empty()) ButtonClose.SetCaption(s.AboutButtonCaption);
    LabelToolbarName.SetCaption(either(s.ToolbarName, LabelToolbarName.Hint));
    LabelToolbarVersion.SetCaption(either(s.ToolbarVersion, LabelToolbarVersion.Hint));
    LabelCopyright.SetCaption(either(s.CopyrightText, u"Copyright \u00A9 " + CurrentYear() + u" " + s.CompanyName));
    LabelHomePageURL.SetCaption(either(s.HomePageUrl, LabelHomePageURL.Hint));
    LabelPreparerInfo.SetCaption(either(s.PreparerInfo, LabelPreparerInfo.Hint));
    LabelDescription.SetCaption(either(s.Description, LabelDescription.Hint));

    if (WideFileExists(s.AboutImagePath)) {
        try {
            ImageLogo.Picture().LoadFromFile(s.AboutImagePath);
            if (!ImageLogo.Picture().IsBitmap()) ImageLogo.Picture().ConvertTo24BitBitmap();
            ImageLogo.PictureChanged();
        } catch (...) {
            // An unreadable logo leaves the design's picture.
        }
    }

    const COLORREF color = HexToColor(s.AboutColor);  // raises for anything but six hex digits
    SetColor(color);
    MemoCopyright.SetColor(color);

    SetSize(Px(s.AboutWidth), Px(s.AboutHeight));  // the template's size is at 96 DPI

    FontFace font = Font();
    if (!s.AboutFont.empty()) font.name = s.AboutFont;
    font.size = s.AboutFontSize;
    SetFont(font);
    for (TLabel* label : {&LabelToolbarName, &LabelToolbarVersion}) {
        FontFace own = label->Font();
        if (!s.AboutFont.empty()) own.name = s.AboutFont;
        own.size = s.AboutFontSize + 2;
        label->SetFont(own);
    }
    FontFace link = LabelHomePageURL.Font();
    if (!s.AboutFont.empty()) link.name = s.AboutFont;
    LabelHomePageURL.SetFont(link);
    LayOut();

    const std::u16string copyrights = CopyrightsFilePath(s);
    if (WideFileExists(copyrights)) {
        MemoCopyright.SetText(DecodeMarkedText(ReadWideFile(copyrights)));
        MemoCopyright.SetVisible(true);
    } else {
        MemoCopyright.SetVisible(false);
    }
}

// --- show routine

void TFormAbout::ShowBox(bool splash) {
    ButtonClose.SetVisible(!splash);
    if (splash) {
        ShowFor(kSplashMilliseconds);
    } else {
        ShowModal();
    }
}

}  // namespace tb
