// Making the main window's components from its stored layout.
//
// The layout (assets/layouts/TForm1.layout, compiled into the resources)
// names each component with its class, in creation order, and lists the
// published properties it is given. Reading happens in three passes, as a
// form loads: every component is made and put into its loading state; the
// properties are handed over component by component (a reference such as
// the image list's DXDraw may name any component of the window); then each
// component finishes loading in creation order. The drawing surface
// initialises itself when it finishes loading, which is what starts the
// title screen.
#include "installer/TForm1.h"

#include "installer/TitleScreen.h"
#include "render/DIB.h"
#include "toolkit/GraphicStream.h"
#include "toolkit/StoredLayout.h"

#include <functional>
#include <map>

namespace {

constexpr const char* kLayoutResource = ":/layouts/TForm1.layout";

// The options a layout may name, by their names.
const std::map<std::string, TDXDrawOption>& DXDrawOptionNames() {
    static const std::map<std::string, TDXDrawOption> names = {
        {"doFullScreen", doFullScreen},     {"doNoWindowChange", doNoWindowChange},
        {"doAllowReboot", doAllowReboot},   {"doWaitVBlank", doWaitVBlank},
        {"doAllowPalette256", doAllowPalette256}, {"doSystemMemory", doSystemMemory},
        {"doStretch", doStretch},           {"doCenter", doCenter},
        {"doFlip", doFlip},                 {"do3D", do3D},
        {"doHardware", doHardware},         {"doRetainedMode", doRetainedMode},
        {"doDrawPrimitive", doDrawPrimitive}, {"doSelectDriver", doSelectDriver},
        {"doZBuffer", doZBuffer},           {"doTexture", doTexture},
        {"doRGB", doRGB},                   {"doMono", doMono},
        {"doDither", doDither},
    };
    return names;
}

// Properties of a window control that the program keeps no use for: the
// controls here are either the full-window drawing surface or never shown.
bool IsInertControlProperty(const std::string& name) {
    return name == "TabOrder" || name == "Visible" || name == "Caption" || name == "Color" ||
           name == "ParentColor";
}

}  // namespace

void TForm1::LoadLayout() {
    RegisterRenderPictureClasses();
    InstallCanvasFonts();
    const TStoredLayout layout = LoadStoredLayoutResource(kLayoutResource);
    const TLayoutComponent& form = layout.root;
    const TLayoutBinder formBinder(layout, form.name);
    if (form.className != "TForm1")
        formBinder.Fail(form.line, "the layout describes a " + form.className + ", not a TForm1");

    // ---- handlers the layout may name, by kind
    const std::map<std::string, TNotifyEvent> notifyHandlers = {
        {"DXDraw1Initialize", [this](QObject* s) { DXDraw1Initialize(s); }},
        {"DXDraw1InitializeSurface", [this](QObject* s) { DXDraw1InitializeSurface(s); }},
        {"DXDraw1Finalize", [this](QObject* s) { DXDraw1Finalize(s); }},
    };
    const std::map<std::string, TMouseEvent> mouseHandlers = {
        {"DXDraw1MouseDown",
         [this](QObject* s, TMouseButton b, Qt::KeyboardModifiers m, int x, int y) { DXDraw1MouseDown(s, b, m, x, y); }},
        {"DXDraw1MouseUp",
         [this](QObject* s, TMouseButton b, Qt::KeyboardModifiers m, int x, int y) { DXDraw1MouseUp(s, b, m, x, y); }},
    };
    const std::map<std::string, TMouseMoveEvent> mouseMoveHandlers = {
        {"DXDraw1MouseMove", [this](QObject* s, Qt::KeyboardModifiers m, int x, int y) { DXDraw1MouseMove(s, m, x, y); }},
    };
    const std::map<std::string, TCustomDXTimer::TTimerEvent> timerHandlers = {
        {"DXTimer1Timer", [this](TCustomDXTimer* s, std::int32_t lag) { DXTimer1Timer(s, lag); }},
    };
    auto handler = [](const auto& table, const TLayoutBinder& binder, const TLayoutProperty& property) {
        const std::string name = binder.Symbol(property);
        auto found = table.find(name);
        if (found == table.end())
            binder.Fail(property.line, "no handler named '" + name + "' fits " + property.name);
        return found->second;
    };

    // ---- the window's own properties
    for (const TLayoutProperty& property : form.properties) {
        const std::string& name = property.name;
        if (name == "Caption") {
            setWindowTitle(QString::fromLatin1(formBinder.String(property).c_str()));
        } else if (name == "ClientWidth" || name == "ClientHeight") {
            const int expected = name == "ClientWidth" ? kClientWidth : kClientHeight;
            if (formBinder.Int32(property) != expected)
                formBinder.Fail(property.line, name + " must be " + std::to_string(expected));
        } else if (name == "BorderStyle" || name == "Position") {
            formBinder.Symbol(property);  // borderless and centred: set up with the window
        } else if (name == "KeyPreview") {
            formBinder.Boolean(property);  // keys are always previewed (eventFilter)
        } else if (name == "OnKeyDown") {
            if (formBinder.Symbol(property) != "FormKeyDown")
                formBinder.Fail(property.line, "no handler named '" + property.value.text + "' fits OnKeyDown");
        } else if (name == "Left" || name == "Top") {
            formBinder.Int32(property);  // the window is centred on the screen
        } else {
            formBinder.UnknownProperty(property);
        }
    }

    // ---- pass 1: make the components
    struct Made {
        const TLayoutComponent* stored;
        TComponent* component;  // null for the integer cells
        TIntegerCell* cell;
    };
    std::vector<Made> made;
    auto expectClass = [&](const TLayoutComponent& c, const char* className) {
        if (c.className != className)
            formBinder.Fail(c.line, c.name + " must be a " + className + ", not a " + c.className);
    };
    for (const TLayoutComponent& c : form.children) {
        if (!c.children.empty()) formBinder.Fail(c.line, c.name + " cannot own components");
        if (c.name == "DXDraw1") {
            expectClass(c, "TDXDraw");
            DXDraw1 = new TDXDraw(this, this);
            DXDraw1->SetName(c.name);
            made.push_back({&c, DXDraw1, nullptr});
        } else if (c.name == "DXImageList1") {
            expectClass(c, "TDXImageList");
            DXImageList1 = std::make_unique<TDXImageList>(this);
            DXImageList1->SetName(c.name);
            made.push_back({&c, DXImageList1.get(), nullptr});
        } else if (c.name == "DXTimer1") {
            expectClass(c, "TDXTimer");
            DXTimer1 = std::make_unique<TDXTimer>(this);
            DXTimer1->SetName(c.name);
            made.push_back({&c, DXTimer1.get(), nullptr});
        } else if (c.name == "ProgressBar1" || c.name == "ProgressBar2") {
            expectClass(c, "TProgressBar");
            made.push_back({&c, nullptr, c.name == "ProgressBar1" ? &ProgressBar1 : &ProgressBar2});
        } else if (c.name == "btn_cancel") {
            expectClass(c, "TButton");
            made.push_back({&c, nullptr, &btn_cancel});
        } else {
            formBinder.Fail(c.line, "TForm1 has no component named " + c.name);
        }
    }
    for (const char* required : {"DXDraw1", "DXImageList1", "DXTimer1"})
        if (!form.Child(required))
            formBinder.Fail(form.line, std::string("the layout has no component ") + required);

    for (Made& m : made)
        if (m.component) m.component->BeginLoading();

    // ---- pass 2: the stored properties
    for (Made& m : made) {
        const TLayoutComponent& c = *m.stored;
        const TLayoutBinder binder(layout, c.name);
        for (const TLayoutProperty& property : c.properties) {
            const std::string& name = property.name;
            if (m.component == DXDraw1) {
                if (name == "Left") {
                    DXDraw1->move(binder.Int32(property), DXDraw1->y());
                } else if (name == "Top") {
                    DXDraw1->move(DXDraw1->x(), binder.Int32(property));
                } else if (name == "Width") {
                    DXDraw1->resize(binder.Int32(property), DXDraw1->height());
                } else if (name == "Height") {
                    DXDraw1->resize(DXDraw1->width(), binder.Int32(property));
                } else if (name == "AutoInitialize") {
                    DXDraw1->AutoInitialize = binder.Boolean(property);
                } else if (name == "AutoSize") {
                    DXDraw1->SetAutoSize(binder.Boolean(property));
                } else if (name == "Display.FixedBitCount") {
                    DXDraw1->Display().FixedBitCount = binder.Boolean(property);
                } else if (name == "Display.FixedRatio") {
                    DXDraw1->Display().FixedRatio = binder.Boolean(property);
                } else if (name == "Display.FixedSize") {
                    DXDraw1->Display().FixedSize = binder.Boolean(property);
                } else if (name == "Display.Width") {
                    DXDraw1->Display().Width = binder.Int32(property);
                } else if (name == "Display.Height") {
                    DXDraw1->Display().Height = binder.Int32(property);
                } else if (name == "Display.BitCount") {
                    DXDraw1->Display().SetBitCount(binder.Int32(property));
                } else if (name == "Options") {
                    TDXDrawOptions options;
                    for (const std::string& member : binder.Set(property)) {
                        auto found = DXDrawOptionNames().find(member);
                        if (found == DXDrawOptionNames().end())
                            binder.Fail(property.line, "'" + member + "' is not a drawing surface option");
                        options.Include(found->second);
                    }
                    DXDraw1->SetOptions(options);
                } else if (name == "SurfaceWidth") {
                    DXDraw1->SetSurfaceWidth(binder.Int32(property));
                } else if (name == "SurfaceHeight") {
                    DXDraw1->SetSurfaceHeight(binder.Int32(property));
                } else if (name == "OnInitializing") {
                    DXDraw1->OnInitializing = handler(notifyHandlers, binder, property);
                } else if (name == "OnInitialize") {
                    DXDraw1->OnInitialize = handler(notifyHandlers, binder, property);
                } else if (name == "OnInitializeSurface") {
                    DXDraw1->OnInitializeSurface = handler(notifyHandlers, binder, property);
                } else if (name == "OnFinalize") {
                    DXDraw1->OnFinalize = handler(notifyHandlers, binder, property);
                } else if (name == "OnFinalizeSurface") {
                    DXDraw1->OnFinalizeSurface = handler(notifyHandlers, binder, property);
                } else if (name == "OnRestoreSurface") {
                    DXDraw1->OnRestoreSurface = handler(notifyHandlers, binder, property);
                } else if (name == "OnMouseDown") {
                    DXDraw1->OnMouseDown = handler(mouseHandlers, binder, property);
                } else if (name == "OnMouseUp") {
                    DXDraw1->OnMouseUp = handler(mouseHandlers, binder, property);
                } else if (name == "OnMouseMove") {
                    DXDraw1->OnMouseMove = handler(mouseMoveHandlers, binder, property);
                } else if (name == "Color") {
                    binder.Symbol(property);  // covered by the picture it shows
                } else if (IsInertControlProperty(name)) {
                    // accepted; no effect on a control that covers the whole window
                } else {
                    binder.UnknownProperty(property);
                }
            } else if (m.component == DXImageList1.get()) {
                if (name == "DXDraw") {
                    const std::string target = binder.Symbol(property);
                    const TLayoutComponent* stored = form.Child(target);
                    if (!stored || stored->className != "TDXDraw" || target != "DXDraw1")
                        binder.Fail(property.line, "'" + target + "' is not a drawing surface of this window");
                    DXImageList1->SetDXDraw(DXDraw1);
                } else if (name == "Items") {
                    const TLayoutBinder itemsBinder(layout, c.name + ".Items");
                    DXImageList1->ReadStoredItems(binder.Collection(property), itemsBinder);
                } else if (name == "Items.ColorTable") {
                    const std::vector<std::uint8_t>& bytes = binder.Bytes(property);
                    if (bytes.size() != sizeof(TColorTable))
                        binder.Fail(property.line, "Items.ColorTable must hold 1024 bytes");
                    TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
                    DXImageList1->Items().ReadColorTable(stream);
                } else {
                    binder.UnknownProperty(property);
                }
            } else if (m.component == DXTimer1.get()) {
                if (name == "ActiveOnly") {
                    DXTimer1->SetActiveOnly(binder.Boolean(property));
                } else if (name == "Enabled") {
                    DXTimer1->SetEnabled(binder.Boolean(property));
                } else if (name == "Interval") {
                    DXTimer1->SetInterval(binder.Int32(property));
                } else if (name == "MaxLag") {
                    DXTimer1->SetMaxLag(binder.Int32(property));
                } else if (name == "OnTimer") {
                    DXTimer1->OnTimer = handler(timerHandlers, binder, property);
                } else {
                    binder.UnknownProperty(property);
                }
            } else {
                TIntegerCell& cell = *m.cell;
                if (name == "Min") {
                    cell.Min = binder.Int32(property);
                } else if (name == "Max") {
                    cell.Max = binder.Int32(property);
                } else if (name == "Position") {
                    cell.Position = binder.Int32(property);
                } else if (name == "Tag") {
                    cell.Tag = binder.Int32(property);
                } else if (name == "Left" || name == "Top" || name == "Width" || name == "Height") {
                    binder.Int32(property);  // never shown
                } else if (IsInertControlProperty(name)) {
                    // accepted; the control is never shown
                } else {
                    binder.UnknownProperty(property);
                }
            }
        }
    }

    // ---- pass 3: loading completes, in creation order
    for (Made& m : made)
        if (m.component) m.component->EndLoading();
}
