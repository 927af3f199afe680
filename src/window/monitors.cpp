#include "window/monitors.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>
#include <utility>

#include "window/saver_window.h"

namespace wh {

namespace {

bool Inside(const Monitor& a, const Monitor& b) {  // a within b
  return a.x >= b.x && a.y >= b.y && a.x + a.width <= b.x + b.width &&
         a.y + a.height <= b.y + b.height;
}

bool Plausible(double dpi) { return dpi >= 48 && dpi <= 600; }

// Projectors and television sets often put their aspect ratio where the
// size belongs (16 x 9 cm, read as 160 x 90 mm, and the like).
bool AspectForSize(int a, int b) {
  if (a < b) std::swap(a, b);
  for (int unit : {1, 10, 100})
    if (b == 9 * unit || b == 10 * unit) return a == 16 * unit;
  return false;
}

// The monitor's density from its physical size, 0 when that cannot be real.
double PhysicalDpi(const Monitor& m) {
  if (m.width <= 0 || m.height <= 0 || m.mm_width <= 0 || m.mm_height <= 0 ||
      AspectForSize(m.mm_width, m.mm_height))
    return 0;
  // A turned monitor may give its size either way round: the way that
  // matches its pixels' shape.
  const bool turned = (m.width > m.height) != (m.mm_width > m.mm_height);
  const double mm_w = turned ? m.mm_height : m.mm_width, mm_h = turned ? m.mm_width : m.mm_height;
  const double across = m.width * 25.4 / mm_w, down = m.height * 25.4 / mm_h;
  // Pixels are square, near enough: two densities far apart are one made up.
  if (!Plausible(across) || !Plausible(down) || std::max(across, down) > 1.5 * std::min(across, down))
    return 0;
  return std::hypot(m.width, m.height) * 25.4 / std::hypot(mm_w, mm_h);
}

// Another size, scale or density is another scene; a move alone is not.
bool NeedsNewScene(const Monitor& a, const Monitor& b) {
  return a.width != b.width || a.height != b.height || a.scale != b.scale || a.dpi != b.dpi;
}

}  // namespace

std::vector<Monitor> ArrangeMonitors(const std::vector<Monitor>& all) {
  std::vector<Monitor> out;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i].width <= 0 || all[i].height <= 0) continue;
    bool drop = false;
    for (size_t j = 0; j < all.size() && !drop; ++j) {
      if (i == j || all[j].width <= 0 || all[j].height <= 0 || !Inside(all[j], all[i])) continue;
      // Identical: keep the first (or the primary); larger: keep the parts.
      drop = Inside(all[i], all[j])
                 ? (all[j].primary && !all[i].primary) || (j < i && !all[i].primary)
                 : true;
    }
    if (!drop) out.push_back(all[i]);
  }
  std::stable_sort(out.begin(), out.end(), [](const Monitor& a, const Monitor& b) {
    if (a.primary != b.primary) return a.primary;
    return a.x != b.x ? a.x < b.x : a.y < b.y;
  });
  for (size_t i = 0; i < out.size(); ++i) out[i].primary = i == 0;
  return out;
}

double ParseDpi(const char* text) {
  if (!text) return 0;
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double d = 0;
  return in >> d && Plausible(d) ? d : 0;
}

double TextDpi(double user_dpi, const Monitor& m) {
  // Text is never made smaller than designed: servers without a real
  // monitor (nested and virtual ones) report sizes of fancy, mostly around
  // or below 96 dpi, and a wall-sized screen is read from afar.
  if (Plausible(user_dpi)) return std::max(96.0, user_dpi);
  return std::max(96.0, PhysicalDpi(m));
}

const Monitor& MonitorOf(const std::vector<Monitor>& mons, int x, int y, int w, int h) {
  size_t best = 0;
  long best_area = 0;
  for (size_t i = 0; i < mons.size(); ++i) {
    const Monitor& m = mons[i];
    const long ow = std::min(x + w, m.x + m.width) - std::max(x, m.x);
    const long oh = std::min(y + h, m.y + m.height) - std::max(y, m.y);
    if (ow > 0 && oh > 0 && ow * oh > best_area) {
      best = i;
      best_area = ow * oh;
    }
  }
  return mons[best];
}

MonitorMatch MatchMonitors(const std::vector<Monitor>& before, const std::vector<Monitor>& now) {
  MonitorMatch match;
  match.from.assign(now.size(), -1);
  std::vector<bool> taken(before.size(), false);
  auto pair = [&](auto same) {
    for (size_t i = 0; i < now.size(); ++i) {
      if (match.from[i] >= 0) continue;
      for (size_t j = 0; j < before.size(); ++j) {
        if (taken[j] || !same(before[j], now[i])) continue;
        match.from[i] = static_cast<int>(j);
        taken[j] = true;
        break;
      }
    }
  };
  // A name is the surest sign; a monitor without one is known by its place.
  pair([](const Monitor& a, const Monitor& b) { return !a.name.empty() && a.name == b.name; });
  pair([](const Monitor& a, const Monitor& b) {
    return (a.name.empty() || b.name.empty()) && a.x == b.x && a.y == b.y;
  });
  for (size_t j = 0; j < before.size(); ++j)
    if (!taken[j]) match.gone.push_back(static_cast<int>(j));
  return match;
}

bool SameMonitors(const std::vector<Monitor>& a, const std::vector<Monitor>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const Monitor& m = a[i];
    const Monitor& n = b[i];
    if (m.x != n.x || m.y != n.y || m.width != n.width || m.height != n.height ||
        m.mm_width != n.mm_width || m.mm_height != n.mm_height || m.primary != n.primary ||
        m.name != n.name || m.scale != n.scale || m.dpi != n.dpi)
      return false;
  }
  return true;
}

MonitorHeads::~MonitorHeads() = default;

std::unique_ptr<MonitorHead> MonitorHeads::OpenHead(const Monitor& m) {
  std::unique_ptr<MonitorHead> h = layer_.Open(m);
  if (h) h->monitor_ = m;
  return h;
}

void MonitorHeads::StartScene(MonitorHead& h) {
  layer_.WithHead(h, [&] {
    h.frm().Form_Load();
    h.Show();
    int w = 0, ht = 0;
    h.SceneSize(&w, &ht);
    h.frm().form.SetSize(w, ht);
    h.frm().Form_Resize();
  });
}

void MonitorHeads::NewScene(MonitorHead& h) {
  layer_.WithHead(h, [&] {
    int w = 0, ht = 0;
    h.SceneSize(&w, &ht);
    h.frm().form.SetSize(w, ht);
    h.frm().Form_Resize();
  });
}

void MonitorHeads::Start(const std::vector<Monitor>& monitors) {
  for (const Monitor& m : ArrangeMonitors(monitors))
    if (auto h = OpenHead(m)) heads_.push_back(std::move(h));
  layer_.HeadsChanged();
  // A scene being built lets events run, which may end the saver and
  // close every head: walk by index over what is still there.
  for (size_t i = 0; i < heads_.size(); ++i) StartScene(*heads_[i]);
}

bool MonitorHeads::Sync(const std::vector<Monitor>& monitors) {
  const std::vector<Monitor> now = ArrangeMonitors(monitors);
  const std::vector<Monitor> before = this->monitors();
  if (SameMonitors(before, now)) return false;
  const MonitorMatch match = MatchMonitors(before, now);

  std::vector<std::unique_ptr<MonitorHead>> old = std::move(heads_);
  heads_.clear();
  for (int j : match.gone) {
    old[static_cast<size_t>(j)]->Close();
    old[static_cast<size_t>(j)].reset();
  }
  std::vector<MonitorHead*> fresh, rescene;
  for (size_t i = 0; i < now.size(); ++i) {
    const Monitor& m = now[i];
    if (match.from[i] < 0) {
      if (auto h = OpenHead(m)) {
        fresh.push_back(h.get());
        heads_.push_back(std::move(h));
      }
      continue;
    }
    std::unique_ptr<MonitorHead> h = std::move(old[static_cast<size_t>(match.from[i])]);
    const Monitor was = h->monitor_;
    if (!SameMonitors({was}, {m})) h->Cover(m);
    if (NeedsNewScene(was, m)) rescene.push_back(h.get());
    h->monitor_ = m;
    heads_.push_back(std::move(h));
  }
  layer_.HeadsChanged();
  // Scenes start once every head is in place, so events during them reach
  // whichever window they are for.
  for (MonitorHead* h : rescene) NewScene(*h);
  for (MonitorHead* h : fresh) StartScene(*h);
  return true;
}

void MonitorHeads::UnloadAll() {
  for (size_t i = 0; i < heads_.size(); ++i) {
    MonitorHead& h = *heads_[i];
    layer_.WithHead(h, [&] { h.frm().Form_Unload(); });
  }
}

std::vector<Monitor> MonitorHeads::monitors() const {
  std::vector<Monitor> out;
  for (const auto& h : heads_) out.push_back(h->monitor_);
  return out;
}

}  // namespace wh
