#include "platform/gtk/gtk_dialogs.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/frm_config.h"
#include "dialogs/frm_info.h"
#include "dialogs/layout.h"
#include "gfx/resources.h"

namespace wh::gtk {
namespace {

using namespace wh::dialogs;

// Captions mark access keys with "&" and break lines with CR LF; GTK wants
// "_" and LF, and a literal "_" doubled.
std::string Mnemonic(const std::string& caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    const char ch = caption[i];
    if (ch == '&' && i + 1 < caption.size() && caption[i + 1] == '&') {
      out += '&';
      ++i;
    } else if (ch == '&') {
      out += '_';
    } else if (ch == '_') {
      out += "__";
    } else if (ch != '\r') {
      out += ch;
    }
  }
  return out;
}

const char kCss[] =
    ".wh-white { background-color: #ffffff; color: #000000; }\n"
    ".wh-time { border: 1px solid alpha(currentColor, 0.3); padding: 0 3px; }\n"
    // Scroll-bar arrows: flat, as the theme draws a scroll bar's own.
    ".wh-arrow { min-width: 0; min-height: 0; padding: 0; border-radius: 0;"
    " border-color: alpha(currentColor, 0.15); background-image: none;"
    " background-color: @theme_bg_color; box-shadow: none; }\n"
    ".wh-arrow:hover { background-color: alpha(currentColor, 0.1); }\n"
    ".wh-arrow:active { background-color: alpha(currentColor, 0.25); }\n"
    ".wh-grey { background-image: none; background-color: #c0c0c0; color: #000000; }\n"
    ".wh-picture-button { padding: 4px; }\n"
    // The default button, as Enter presses it, framed as on Windows.
    "button.default { border-color: @theme_fg_color; }\n";

void InstallCss() {
  static bool done = false;
  if (done) return;
  done = true;
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

// A picture of the program as a pixbuf; with `mask` (one bit, black where
// the picture shows), transparent elsewhere.
GdkPixbuf* PixbufFromPicture(int id, int mask = 0) {
  const Picture pic = LoadResPicture(id);
  const Picture msk = mask ? LoadResPicture(mask) : nullptr;
  GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, pic->width, pic->height);
  guchar* pixels = gdk_pixbuf_get_pixels(pb);
  const int stride = gdk_pixbuf_get_rowstride(pb);
  for (int y = 0; y < pic->height; ++y) {
    for (int x = 0; x < pic->width; ++x) {
      const uint32_t p = pic->at(x, y);
      guchar* d = pixels + y * stride + x * 4;
      d[0] = (p >> 16) & 0xFF;
      d[1] = (p >> 8) & 0xFF;
      d[2] = p & 0xFF;
      d[3] = (msk && msk->Contains(x, y) && (msk->at(x, y) & 0xFFFFFF) != 0) ? 0 : 255;
    }
  }
  return pb;
}

void SetLabelColour(GtkLabel* label, int32_t bbggrr) {
  PangoAttrList* attrs = pango_attr_list_new();
  const guint16 r = (bbggrr & 0xFF) * 257, g = ((bbggrr >> 8) & 0xFF) * 257,
                b = ((bbggrr >> 16) & 0xFF) * 257;
  pango_attr_list_insert(attrs, pango_attr_foreground_new(r, g, b));
  gtk_label_set_attributes(label, attrs);
  pango_attr_list_unref(attrs);
}

// Twips to GTK's logical pixels. The table was drawn for an 8-point system
// font at 96 dots per inch; GTK's own font is usually larger, so the whole
// table grows with it and every caption keeps its room. GDK_SCALE and the
// desktop's text scaling are GTK's business from there.
class Scaler {
 public:
  explicit Scaler(GtkWidget* any) {
    PangoLayout* layout = gtk_widget_create_pango_layout(any, "Ag");
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    // An 8-point system font takes 13 pixels a line at 96 dpi.
    factor_ = std::clamp(h / 13.0, 1.0, 2.0) / 15.0;
  }
  int operator()(int twips) const { return static_cast<int>(std::lround(twips * factor_)); }

 private:
  double factor_;
};

// Places `w` on `fixed` at the table's rectangle. A widget that needs more
// height than the table gives it keeps its centre where the table put it.
void Place(GtkFixed* fixed, GtkWidget* w, const Rect& r, const Scaler& px) {
  const int width = px(r.width), height = px(r.height);
  gtk_widget_set_size_request(w, width, height);
  GtkRequisition min;
  gtk_widget_get_preferred_size(w, &min, nullptr);
  const int top = px(r.top) - std::max(0, min.height - height) / 2;
  gtk_fixed_put(fixed, w, px(r.left), top);
}

// A key a focused scroll bar answers, and what it asks of the bar, as a
// Windows scroll bar control reads them whatever its direction: on a
// horizontal bar too, Up lowers the value and Down raises it.
std::optional<ScrollAction> KeyAction(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      return ScrollAction::kLineUp;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      return ScrollAction::kLineDown;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
      return ScrollAction::kPageUp;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
      return ScrollAction::kPageDown;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
      return ScrollAction::kTop;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
      return ScrollAction::kBottom;
  }
  return std::nullopt;
}

// The controls over GTK widgets. Values set from code never reach the
// dialog's handlers: `quiet_` is up while the widget is being changed.
//
// A scroll bar is an arrow at each end and, on the long bars, a GtkScrollbar
// between them as the track: its clicks page towards the pointer and repeat,
// and its thumb drags. GTK's own arrows glide rather than step, and its
// keys and wheel would move a horizontal bar the other way for Up, Page Up
// and the wheel, so arrows, keys and the wheel go through the dialogs' own
// actions. The minutes bar is its two arrows alone, as small as the table
// draws it; its upper arrow takes the focus.
class BarPeer : public ScrollBar {
 public:
  // As a Windows scroll arrow: the first repeat after 200 ms, then every 50.
  static constexpr guint kRepeatDelayMs = 200, kRepeatEveryMs = 50;

  BarPeer(GtkOrientation orientation, const ScrollRange& bar, int thickness,
          std::function<void()> changed)
      : bar_(bar), changed_(std::move(changed)) {
    adj_ = gtk_adjustment_new(bar.design_value, bar.min, bar.max, bar.small_change,
                              bar.large_change, 0);
    g_object_ref_sink(adj_);
    g_signal_connect(adj_, "value-changed", G_CALLBACK(OnChanged), this);
    const bool horizontal = orientation == GTK_ORIENTATION_HORIZONTAL;
    box_ = gtk_box_new(orientation, 0);
    // Two arrows share the minutes bar's height; a long bar's arrows are square.
    const int arrow = horizontal ? thickness : thickness / 2;
    GtkWidget* back =
        Arrow(horizontal ? "pan-start-symbolic" : "pan-up-symbolic", ScrollAction::kLineUp, arrow);
    GtkWidget* forward = Arrow(horizontal ? "pan-end-symbolic" : "pan-down-symbolic",
                               ScrollAction::kLineDown, arrow);
    gtk_box_pack_start(GTK_BOX(box_), back, FALSE, FALSE, 0);
    if (horizontal) {
      focus_ = gtk_scrollbar_new(orientation, adj_);
      gtk_range_set_round_digits(GTK_RANGE(focus_), 0);
      g_signal_connect(focus_, "scroll-event", G_CALLBACK(OnScroll), this);
      gtk_box_pack_start(GTK_BOX(box_), focus_, TRUE, TRUE, 0);
    } else {
      focus_ = back;
    }
    gtk_widget_set_can_focus(focus_, TRUE);
    gtk_box_pack_start(GTK_BOX(box_), forward, FALSE, FALSE, 0);
    g_signal_connect(box_, "key-press-event", G_CALLBACK(OnKey), this);
  }
  ~BarPeer() override {
    StopRepeat();
    g_signal_handlers_disconnect_by_data(adj_, this);
    g_object_unref(adj_);
  }
  BarPeer(const BarPeer&) = delete;
  BarPeer& operator=(const BarPeer&) = delete;

  GtkWidget* widget() const { return box_; }
  int Value() const override {
    return static_cast<int>(std::lround(gtk_adjustment_get_value(adj_)));
  }
  void SetValue(int v) override {
    quiet_ = true;
    gtk_adjustment_set_value(adj_, v);
    quiet_ = false;
  }
  void SetEnabled(bool e) override {
    if (!e) StopRepeat();
    gtk_widget_set_sensitive(box_, e);
  }

 private:
  GtkWidget* Arrow(const char* icon, ScrollAction action, int size) {
    GtkWidget* b = gtk_button_new_from_icon_name(icon, GTK_ICON_SIZE_MENU);
    gtk_image_set_pixel_size(GTK_IMAGE(gtk_button_get_image(GTK_BUTTON(b))),
                             std::max(6, size * 3 / 4));
    gtk_widget_set_size_request(b, size, size);
    gtk_style_context_add_class(gtk_widget_get_style_context(b), "wh-arrow");
    gtk_widget_set_can_focus(b, FALSE);
    // Enter on the focused minutes arrow is OK's, not the arrow's.
    gtk_widget_set_receives_default(b, FALSE);
    gtk_widget_add_events(b, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
    g_object_set_data(G_OBJECT(b), "wh-action", GINT_TO_POINTER(static_cast<int>(action)));
    g_signal_connect(b, "button-press-event", G_CALLBACK(OnArrowPress), this);
    g_signal_connect(b, "button-release-event", G_CALLBACK(OnArrowRelease), this);
    g_signal_connect(b, "scroll-event", G_CALLBACK(OnScroll), this);
    return b;
  }

  void Act(ScrollAction action) { gtk_adjustment_set_value(adj_, Scrolled(bar_, Value(), action)); }

  static ScrollAction ActionOf(GtkWidget* arrow) {
    return static_cast<ScrollAction>(
        GPOINTER_TO_INT(g_object_get_data(G_OBJECT(arrow), "wh-action")));
  }

  // A press steps at once and again while the arrow is held down with the
  // pointer on it; the button itself still shows the press.
  static gboolean OnArrowPress(GtkWidget* arrow, GdkEventButton* e, gpointer data) {
    auto* self = static_cast<BarPeer*>(data);
    if (e->button != GDK_BUTTON_PRIMARY || e->type != GDK_BUTTON_PRESS) return FALSE;
    gtk_widget_grab_focus(self->focus_);
    self->StopRepeat();
    self->held_ = arrow;
    self->Act(ActionOf(arrow));
    self->repeat_ = g_timeout_add(kRepeatDelayMs, FirstRepeat, self);
    return FALSE;
  }
  static gboolean OnArrowRelease(GtkWidget*, GdkEventButton* e, gpointer data) {
    if (e->button == GDK_BUTTON_PRIMARY) static_cast<BarPeer*>(data)->StopRepeat();
    return FALSE;
  }
  static gboolean FirstRepeat(gpointer data) {
    auto* self = static_cast<BarPeer*>(data);
    Repeat(self);
    self->repeat_ = g_timeout_add(kRepeatEveryMs, Repeat, self);
    return G_SOURCE_REMOVE;
  }
  static gboolean Repeat(gpointer data) {
    auto* self = static_cast<BarPeer*>(data);
    if (gtk_widget_get_state_flags(self->held_) & GTK_STATE_FLAG_ACTIVE) {
      self->Act(ActionOf(self->held_));
    }
    return G_SOURCE_CONTINUE;
  }
  void StopRepeat() {
    if (repeat_) g_source_remove(repeat_);
    repeat_ = 0;
  }

  static gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer self) {
    // Alt goes to the access keys, as it does past a Windows bar.
    if (e->state & GDK_MOD1_MASK) return FALSE;
    // Space does nothing to a bar, whatever part of it has the focus.
    if (e->keyval == GDK_KEY_space || e->keyval == GDK_KEY_KP_Space) return TRUE;
    const std::optional<ScrollAction> action = KeyAction(e->keyval);
    if (!action) return FALSE;
    static_cast<BarPeer*>(self)->Act(*action);
    return TRUE;
  }

  // A notch away from the user is a line up; a sideways wheel does nothing,
  // as Windows sends it to no bar of the dialog.
  static gboolean OnScroll(GtkWidget*, GdkEventScroll* e, gpointer data) {
    auto* self = static_cast<BarPeer*>(data);
    double away = 0;
    if (e->direction == GDK_SCROLL_UP) away = 1;
    if (e->direction == GDK_SCROLL_DOWN) away = -1;
    if (e->direction == GDK_SCROLL_SMOOTH) away = -e->delta_y;
    const int notches = away == 0 ? 0 : self->wheel_.Add(away);
    for (int i = 0; i < std::abs(notches); ++i) {
      self->Act(notches > 0 ? ScrollAction::kLineUp : ScrollAction::kLineDown);
    }
    return TRUE;
  }

  static void OnChanged(GtkAdjustment*, gpointer data) {
    auto* self = static_cast<BarPeer*>(data);
    if (!self->quiet_ && self->changed_) self->changed_();
  }

  const ScrollRange& bar_;
  std::function<void()> changed_;
  GtkAdjustment* adj_;
  GtkWidget* box_;
  GtkWidget* focus_;  // the track, or the minutes' upper arrow
  GtkWidget* held_ = nullptr;
  guint repeat_ = 0;
  WheelNotches wheel_;
  bool quiet_ = false;
};

class CheckBoxPeer : public CheckBox {
 public:
  explicit CheckBoxPeer(GtkToggleButton* b) : b_(b) {}
  int Value() const override {
    if (gtk_toggle_button_get_inconsistent(b_)) return 2;
    return gtk_toggle_button_get_active(b_) ? 1 : 0;
  }
  void SetValue(int v) override {
    quiet_ = true;
    gtk_toggle_button_set_inconsistent(b_, v == 2);
    gtk_toggle_button_set_active(b_, v == 1);
    quiet_ = false;
  }
  void SetCaption(const std::string& c) override {
    gtk_button_set_label(GTK_BUTTON(b_), Mnemonic(c).c_str());
  }
  bool quiet() const { return quiet_; }

 private:
  GtkToggleButton* b_;
  bool quiet_ = false;
};

class LabelPeer : public Label {
 public:
  explicit LabelPeer(GtkLabel* l) : l_(l) {}
  std::string Caption() const override { return caption_; }
  void SetCaption(const std::string& c) override {
    caption_ = c;
    gtk_label_set_text(l_, c.c_str());
  }
  void SetForeColor(int32_t c) override { SetLabelColour(l_, c); }

 private:
  GtkLabel* l_;
  std::string caption_;
};

class ButtonPeer : public Button {
 public:
  explicit ButtonPeer(GtkWidget* b) : b_(b) {}
  void SetVisible(bool v) override { gtk_widget_set_visible(b_, v); }

 private:
  GtkWidget* b_;
};

GtkWidget* NewLabel(const LayoutItem& item) {
  GtkWidget* l = gtk_label_new(item.caption);
  gtk_label_set_xalign(GTK_LABEL(l), item.align == Align::kRight    ? 1.0f
                                     : item.align == Align::kCenter ? 0.5f
                                                                    : 0.0f);
  if (item.bold || item.points > 0) {
    PangoAttrList* attrs = pango_attr_list_new();
    if (item.bold) pango_attr_list_insert(attrs, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
    // Sizes are relative to the table's 8-point font, so they follow the desktop's.
    if (item.points > 0) pango_attr_list_insert(attrs, pango_attr_scale_new(item.points / 8.25));
    gtk_label_set_attributes(GTK_LABEL(l), attrs);
    pango_attr_list_unref(attrs);
  }
  if (item.back_color == 0xFFFFFF) {
    gtk_style_context_add_class(gtk_widget_get_style_context(l), "wh-white");
  }
  return l;
}

// A window whose client area is a GtkFixed the size of the table.
struct FormWindow {
  FormWindow(const FormLayout& layout, GtkWindow* owner) {
    InstallCss();
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), layout.caption);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    if (owner) {
      gtk_window_set_transient_for(GTK_WINDOW(window), owner);
      gtk_window_set_modal(GTK_WINDOW(window), TRUE);
      gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER_ON_PARENT);
      gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
    } else {
      gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    }
    fixed = GTK_FIXED(gtk_fixed_new());
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(fixed));
    Scaler px(window);
    gtk_widget_set_size_request(GTK_WIDGET(fixed), px(layout.width), px(layout.height));
    // However the window goes, the loop that shows it ends.
    g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                       static_cast<FormWindow*>(self)->closed = true;
                       gtk_main_quit();
                     }),
                     this);
    // Escape closes without storing, as the window's close button does.
    g_signal_connect(window, "key-press-event",
                     G_CALLBACK(+[](GtkWidget* w, GdkEventKey* e, gpointer) -> gboolean {
                       if (e->keyval != GDK_KEY_Escape) return FALSE;
                       gtk_widget_destroy(w);
                       return TRUE;
                     }),
                     nullptr);
  }
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  // Shows the window and returns when it is gone.
  void Run() {
    gtk_widget_show_all(window);
    gtk_main();
  }
  void Close() {
    if (!closed) gtk_widget_destroy(window);
  }
  // Enter presses `button` wherever the focus is, but on another button.
  void SetDefault(GtkWidget* button) {
    gtk_widget_set_can_default(button, TRUE);
    gtk_window_set_default(GTK_WINDOW(window), button);
  }

  GtkWidget* window;
  GtkFixed* fixed;
  bool closed = false;
};

// A failure told in a modal message over the dialog.
void ShowFailureOver(GtkWidget* owner, const std::string& text) {
  GtkWidget* m = gtk_message_dialog_new(GTK_WINDOW(owner),
                                        static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL |
                                                                    GTK_DIALOG_DESTROY_WITH_PARENT),
                                        GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(m), "WinterHollow");
  gtk_dialog_run(GTK_DIALOG(m));
  gtk_widget_destroy(m);
}

// frmInfo: the picture stretched over the window, the version on it, OK.
class InfoWindow : public Window {
 public:
  explicit InfoWindow(GtkWindow* owner) : form_(InfoLayout(), owner) {
    const FormLayout& layout = InfoLayout();
    Scaler px(form_.window);
    GtkWidget* label = nullptr;
    GtkWidget* ok = nullptr;
    for (const LayoutItem& item : layout) {
      GtkWidget* w = nullptr;
      if (item.kind == Kind::kImage) {
        picture_ = PixbufFromPicture(item.picture);
        w = gtk_drawing_area_new();
        g_signal_connect(w, "draw", G_CALLBACK(DrawPicture), picture_);
      } else if (item.kind == Kind::kLabel) {
        w = label = NewLabel(item);
      } else if (item.kind == Kind::kButton) {
        w = ok = gtk_button_new_with_mnemonic(Mnemonic(item.caption).c_str());
        gtk_widget_set_name(w, item.name);
        gtk_widget_set_no_show_all(w, TRUE);  // Form_Load shows it
        if (item.back_color == 0xC0C0C0) {
          gtk_style_context_add_class(gtk_widget_get_style_context(w), "wh-grey");
        }
        g_signal_connect(w, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                           static_cast<InfoWindow*>(self)->frm_->cmdOK_Click();
                         }),
                         this);
      }
      if (w) Place(form_.fixed, w, item.rect, px);
    }
    form_.SetDefault(ok);
    label_ = std::make_unique<LabelPeer>(GTK_LABEL(label));
    ok_ = std::make_unique<ButtonPeer>(ok);
    frm_ = std::make_unique<frmInfo>(InfoControls{label_.get(), ok_.get(), this});
  }
  ~InfoWindow() override {
    if (picture_) g_object_unref(picture_);
  }

  // Shows the window and returns when it is gone.
  void RunModal() {
    frm_->Form_Load();
    form_.Run();
  }

  void Unload() override { form_.Close(); }
  void ShowInfoModal() override {}
  void ShowFailure(const std::string& text) override { ShowFailureOver(form_.window, text); }
  void ShellExecuteFile(const std::string&, const std::string&, const std::string&,
                        const std::string&, int) override {}

 private:
  static gboolean DrawPicture(GtkWidget* w, cairo_t* cr, gpointer data) {
    auto* pb = static_cast<GdkPixbuf*>(data);
    const double sx = gtk_widget_get_allocated_width(w) / double(gdk_pixbuf_get_width(pb));
    const double sy = gtk_widget_get_allocated_height(w) / double(gdk_pixbuf_get_height(pb));
    cairo_scale(cr, sx, sy);
    gdk_cairo_set_source_pixbuf(cr, pb, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    return TRUE;
  }

  FormWindow form_;
  GdkPixbuf* picture_ = nullptr;
  std::unique_ptr<LabelPeer> label_;
  std::unique_ptr<ButtonPeer> ok_;
  std::unique_ptr<frmInfo> frm_;
};

// frmConfig over GTK widgets.
class ConfigWindow : public Window {
 public:
  ConfigWindow() : form_(ConfigLayout(), nullptr) {
    const FormLayout& layout = ConfigLayout();
    Scaler px(form_.window);
    ConfigControls c;
    c.chkOpt.resize(OptionRows().size());
    checks_.resize(OptionRows().size());
    for (const LayoutItem& item : layout) {
      GtkWidget* w = nullptr;
      switch (item.kind) {
        case Kind::kFrame:
          w = gtk_frame_new(item.caption);
          break;
        case Kind::kLabel:
          w = NewLabel(item);
          if (std::string(item.name) == "lblTime") {
            gtk_style_context_add_class(gtk_widget_get_style_context(w), "wh-time");
            time_label_ = std::make_unique<LabelPeer>(GTK_LABEL(w));
            c.lblTime = time_label_.get();
          }
          break;
        case Kind::kHScroll:
          bars_.push_back(std::make_unique<BarPeer>(GTK_ORIENTATION_HORIZONTAL, *BarOf(item),
                                                    px(item.rect.height), nullptr));
          w = bars_.back()->widget();
          c.HScroll.at(item.index) = bars_.back().get();
          break;
        case Kind::kVScroll:
          bars_.push_back(std::make_unique<BarPeer>(GTK_ORIENTATION_VERTICAL, *BarOf(item),
                                                    px(item.rect.height),
                                                    [this] { frm_->vscTime_Change(); }));
          w = bars_.back()->widget();
          c.vscTime = bars_.back().get();
          break;
        case Kind::kCheckBox: {
          w = gtk_check_button_new_with_mnemonic(Mnemonic(item.caption).c_str());
          gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), kOptionDesignValue == 1);
          checks_.at(item.index) = std::make_unique<CheckBoxPeer>(GTK_TOGGLE_BUTTON(w));
          c.chkOpt.at(item.index) = checks_.at(item.index).get();
          g_object_set_data(G_OBJECT(w), "wh-index", GINT_TO_POINTER(item.index));
          g_signal_connect(w, "toggled", G_CALLBACK(OnToggled), this);
          break;
        }
        case Kind::kButton:
        case Kind::kPictureButton:
          w = NewButton(item);
          break;
        case Kind::kImage:
          break;
      }
      if (!w) continue;
      gtk_widget_set_name(w, Name(item).c_str());
      Place(form_.fixed, w, layout.OnForm(item), px);
      if (std::string(item.name) == "cmdOK") form_.SetDefault(w);
      if (item.kind != Kind::kFrame && item.kind != Kind::kLabel) {
        tab_order_ = g_list_prepend(tab_order_, w);
      }
      if (item.kind == Kind::kCheckBox) WrapCaption(w, px(item.rect.width));
    }
    // Tab goes through the controls in the table's order, not by position.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(form_.fixed), g_list_reverse(tab_order_));
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_list_free(tab_order_);
    tab_order_ = nullptr;
    c.window = this;
    frm_ = std::make_unique<frmConfig>(std::move(c));
  }

  void Run() {
    frm_->Form_Load();
    form_.Run();
  }

  void Unload() override { form_.Close(); }
  void ShowInfoModal() override {
    InfoWindow info(GTK_WINDOW(form_.window));
    info.RunModal();
  }
  void ShowFailure(const std::string& text) override { ShowFailureOver(form_.window, text); }
  void ShellExecuteFile(const std::string&, const std::string& file, const std::string&,
                        const std::string&, int) override {
    GError* err = nullptr;
    gtk_show_uri_on_window(GTK_WINDOW(form_.window), file.c_str(), GDK_CURRENT_TIME, &err);
    if (err) g_error_free(err);  // the shell's answer is not checked
  }

 private:
  static std::string Name(const LayoutItem& item) {
    return item.index < 0 ? item.name : std::string(item.name) + std::to_string(item.index);
  }

  // A caption longer than its box wraps within it, as the table expects.
  static void WrapCaption(GtkWidget* check, int width) {
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(check));
    if (!GTK_IS_LABEL(label)) return;
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    GtkRequisition box, text;
    gtk_widget_get_preferred_size(check, &box, nullptr);
    gtk_widget_get_preferred_size(label, &text, nullptr);
    // The indicator and spacing take what the label does not.
    gtk_widget_set_size_request(label, std::max(1, width - (box.width - text.width)), -1);
  }

  GtkWidget* NewButton(const LayoutItem& item) {
    GtkWidget* b = gtk_button_new();
    GtkWidget* label = gtk_label_new_with_mnemonic(Mnemonic(item.caption).c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), b);
    if (item.kind == Kind::kPictureButton) {
      GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
      GdkPixbuf* pb = PixbufFromPicture(item.picture, item.picture + 1);
      GtkWidget* image = gtk_image_new_from_pixbuf(pb);
      g_object_unref(pb);
      gtk_box_pack_start(GTK_BOX(box), image, FALSE, FALSE, 0);
      gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
      gtk_widget_set_valign(box, GTK_ALIGN_CENTER);
      gtk_container_add(GTK_CONTAINER(b), box);
      gtk_style_context_add_class(gtk_widget_get_style_context(b), "wh-picture-button");
    } else {
      gtk_container_add(GTK_CONTAINER(b), label);
    }
    void (frmConfig::*handler)() = nullptr;
    const std::string name = item.name;
    if (name == "cmdReset") handler = &frmConfig::cmdReset_Click;
    if (name == "cmdInfo") handler = &frmConfig::cmdInfo_Click;
    if (name == "cmdHomepage") handler = &frmConfig::cmdHomepage_Click;
    if (name == "cmdOK") handler = &frmConfig::cmdOK_Click;
    handlers_.push_back({this, handler});
    g_signal_connect(b, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
                       auto* h = static_cast<Handler*>(data);
                       (h->self->frm_.get()->*(h->method))();
                     }),
                     &handlers_.back());
    return b;
  }

  static void OnToggled(GtkToggleButton* b, gpointer data) {
    auto* self = static_cast<ConfigWindow*>(data);
    const int index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(b), "wh-index"));
    CheckBoxPeer* peer = self->checks_.at(index).get();
    if (peer->quiet() || !self->frm_) return;
    // A click on a greyed box makes it a plain one.
    if (gtk_toggle_button_get_inconsistent(b)) peer->SetValue(gtk_toggle_button_get_active(b));
    self->frm_->chkOpt_Click(index);
  }

  struct Handler {
    ConfigWindow* self;
    void (frmConfig::*method)();
  };

  FormWindow form_;
  std::vector<std::unique_ptr<BarPeer>> bars_;
  std::vector<std::unique_ptr<CheckBoxPeer>> checks_;  // by index
  std::unique_ptr<LabelPeer> time_label_;
  std::unique_ptr<frmConfig> frm_;
  std::list<Handler> handlers_;
  GList* tab_order_ = nullptr;
};

}  // namespace

void RunConfigDialog() {
  ConfigWindow dialog;
  dialog.Run();
}

}  // namespace wh::gtk
