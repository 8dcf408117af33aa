#include "sweep/output/svg_plot.h"

#include <algorithm>
#include <cmath>

#include "sweep/output/number_text.h"
#include "sweep/stats/intervals.h"

namespace mtsweep {

namespace {

constexpr double kWidth = 920, kHeight = 640;
constexpr double kLeft = 90, kTop = 100, kPlotW = 560, kPlotH = 470;
constexpr const char* kColors[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                   "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};
constexpr const char* kInputColor = "#555555";

// Where values land on the canvas.
struct Axes {
  double x_lo, x_hi, x_step;  // Eb/N0, dB
  int decade_lo, decade_hi;   // BER 10^decade_lo ... 10^decade_hi
  double x(double ebn0) const { return kLeft + (ebn0 - x_lo) / (x_hi - x_lo) * kPlotW; }
  double y(double ber) const {
    return kTop + (decade_hi - std::log10(ber)) / (decade_hi - decade_lo) * kPlotH;
  }
};

std::string num(double v) { return formatted("%.1f", v); }

// "10" with the exponent in superscript digits.
std::string power_of_ten(int e) {
  static constexpr const char* digits[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
  if (e == 0) return "1";
  std::string s = "10";
  if (e < 0) s += "⁻";
  const std::string magnitude = std::to_string(std::abs(e));
  for (const char c : magnitude) s += digits[c - '0'];
  return s;
}

std::string text(double x, double y, const std::string& body, const std::string& attributes) {
  return "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" " + attributes + ">" + body + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, const std::string& attributes) {
  return "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" +
         num(y2) + "\" " + attributes + "/>\n";
}

Axes make_axes(const SweepResult& r, const SweepSettings& s, const std::vector<int>& iterations) {
  double lo = ebn0_db(r.capacity_an), hi = lo;
  double ber_min = 1.0, ber_max = 0.0;
  for (const PointResult& p : r.points) {
    lo = std::min(lo, ebn0_db(p.an));
    hi = std::max(hi, ebn0_db(p.an));
    for (int it = 0; it <= s.iterat; ++it) {
      if (it != 0 && std::find(iterations.begin(), iterations.end(), it) == iterations.end())
        continue;
      const Rate rate = rate_after(p.sums, s.ndkdd, it);
      for (const double v : {rate.ber, rate.low, rate.high}) {
        if (v > 0.0 && std::isfinite(v)) ber_min = std::min(ber_min, v), ber_max = std::max(ber_max, v);
      }
    }
  }
  Axes a{};
  const double span = hi - lo;
  a.x_step = span <= 3.0 ? 0.25 : span <= 6.0 ? 0.5 : 1.0;
  a.x_lo = std::floor((lo - 0.1) / a.x_step) * a.x_step;
  a.x_hi = std::ceil((hi + 0.1) / a.x_step) * a.x_step;
  a.decade_hi = std::min(0, static_cast<int>(std::ceil(std::log10(std::max(ber_max, 1e-300)))));
  a.decade_lo = static_cast<int>(std::floor(std::log10(std::max(ber_min, 1e-300))));
  a.decade_lo = std::min(a.decade_lo, a.decade_hi - 2);
  return a;
}

std::string frame_and_grid(const Axes& a) {
  std::string out;
  const std::string grid = "stroke=\"#e4e4e4\" stroke-width=\"1\"";
  const std::string minor = "stroke=\"#f2f2f2\" stroke-width=\"1\"";
  const std::string label = "font-size=\"14\" text-anchor=\"middle\"";
  for (int d = a.decade_lo; d <= a.decade_hi; ++d) {
    const double y = a.y(std::pow(10.0, d));
    out += line(kLeft, y, kLeft + kPlotW, y, grid);
    out += text(kLeft - 10, y + 5, power_of_ten(d), "font-size=\"15\" text-anchor=\"end\"");
    for (int m = 2; m <= 9 && d < a.decade_hi; ++m) {
      const double ym = a.y(m * std::pow(10.0, d));
      out += line(kLeft, ym, kLeft + kPlotW, ym, minor);
    }
  }
  const int steps = static_cast<int>(std::lround((a.x_hi - a.x_lo) / a.x_step));
  const int label_every = steps > 12 ? 2 : 1;
  for (int i = 0; i <= steps; ++i) {
    const double v = a.x_lo + i * a.x_step;
    out += line(a.x(v), kTop, a.x(v), kTop + kPlotH, grid);
    if (i % label_every == 0) out += text(a.x(v), kTop + kPlotH + 22, shortest(v), label);
  }
  // Es/N0 along the top: the same scale shifted by 10 log10(4/3).
  const double shift = ebn0_db(0.0);
  for (double v = std::ceil((a.x_lo - shift) / a.x_step) * a.x_step; v + shift <= a.x_hi + 1e-9;
       v += a.x_step * label_every) {
    out += line(a.x(v + shift), kTop, a.x(v + shift), kTop - 5, "stroke=\"#000\"");
    out += text(a.x(v + shift), kTop - 10, shortest(std::round(v * 100) / 100), label);
  }
  out += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(kTop) + "\" width=\"" + num(kPlotW) +
         "\" height=\"" + num(kPlotH) + "\" fill=\"none\" stroke=\"#000\"/>\n";
  out += text(kLeft + kPlotW / 2, kTop + kPlotH + 50, "Eb/N0 (dB)",
              "font-size=\"16\" text-anchor=\"middle\"");
  out += text(kLeft + kPlotW / 2, kTop - 32, "Es/N0 = AN (dB)",
              "font-size=\"14\" text-anchor=\"middle\"");
  out += text(28, kTop + kPlotH / 2, "bit error rate",
              "font-size=\"16\" text-anchor=\"middle\" transform=\"rotate(-90 28 " +
                  num(kTop + kPlotH / 2) + ")\"");
  return out;
}

// Markers, error bars and the joining line of one iteration.
std::string curve(const SweepResult& r, const SweepSettings& s, const Axes& a, int it,
                  const char* color) {
  std::string out, path;
  const double bottom = kTop + kPlotH;
  for (const PointResult& p : r.points) {
    const Rate rate = rate_after(p.sums, s.ndkdd, it);
    const double x = a.x(ebn0_db(p.an));
    // An infinite upper end (one error frame) runs to the top, as an arrow.
    const bool unbounded = !std::isfinite(rate.high);
    const double y_high = unbounded ? kTop : a.y(rate.high);
    const std::string stroke = "stroke=\"" + std::string(color) + "\" stroke-width=\"1.5\"";
    if (rate.errors == 0) {  // the upper bound alone, as an open triangle pointing down
      out += "<path d=\"M" + num(x - 5) + " " + num(y_high - 4) + "h10l-5 9z\" fill=\"white\" " +
             stroke + "/>\n";
      path += path.empty() ? "" : " ";
      continue;
    }
    const double y_low = rate.low > 0.0 ? a.y(rate.low) : bottom;
    out += line(x, y_low, x, y_high, stroke);
    out += unbounded ? "<path d=\"M" + num(x - 5) + " " + num(y_high + 9) + "l5 -9l5 9\" fill=\"none\" " +
                           stroke + "/>\n"
                     : line(x - 4, y_high, x + 4, y_high, stroke);
    if (rate.low > 0.0) out += line(x - 4, y_low, x + 4, y_low, stroke);
    out += "<circle cx=\"" + num(x) + "\" cy=\"" + num(a.y(rate.ber)) + "\" r=\"3.5\" fill=\"" +
           color + "\"/>\n";
    path += (path.empty() || path.back() == ' ' ? "M" : "L") + num(x) + " " + num(a.y(rate.ber));
  }
  return "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + color + "\" stroke-width=\"2\"/>\n" +
         out;
}

std::string uncoded_bpsk(const Axes& a) {
  std::string d;
  for (int i = 0; i <= 200; ++i) {
    const double eb = a.x_lo + (a.x_hi - a.x_lo) * i / 200.0;
    const double ber = q_function(std::sqrt(2.0 * std::pow(10.0, eb / 10.0)));
    d += (i == 0 ? "M" : "L") + num(a.x(eb)) + " " + num(a.y(ber));
  }
  return "<path d=\"" + d +
         "\" fill=\"none\" stroke=\"#000\" stroke-width=\"1.5\" stroke-dasharray=\"7 5\"/>\n";
}

}  // namespace

std::vector<int> default_plot_iterations(int32_t iterat) { return {1, (iterat + 1) / 2, iterat}; }

PlotIterations chosen_plot_iterations(const std::vector<int64_t>& chosen, int32_t iterat) {
  PlotIterations out;
  for (const int64_t it : chosen) {
    if (it < 1 || it > iterat) {
      return {{}, std::to_string(it) + " is outside 1 ... " + std::to_string(iterat)};
    }
    out.iterations.push_back(static_cast<int>(it));
  }
  std::sort(out.iterations.begin(), out.iterations.end());
  out.iterations.erase(std::unique(out.iterations.begin(), out.iterations.end()),
                       out.iterations.end());
  if (out.iterations.empty()) out.error = "no iteration";
  return out;
}

std::string svg_plot(const SweepResult& r, const SweepSettings& s,
                     const std::vector<int>& iterations) {
  const Axes a = make_axes(r, s, iterations);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
      num(kWidth) + "\" height=\"" + num(kHeight) + "\" viewBox=\"0 0 " + num(kWidth) + " " +
      num(kHeight) +
      "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n"
      "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
      "<defs><clipPath id=\"area\"><rect x=\"" +
      num(kLeft) + "\" y=\"" + num(kTop) + "\" width=\"" + num(kPlotW) + "\" height=\"" +
      num(kPlotH) + "\"/></clipPath></defs>\n";
  out += text(kWidth / 2, 26, "Bit error rate of the rate-3/4 code with multithreshold decoding",
              "font-size=\"17\" text-anchor=\"middle\" font-weight=\"bold\"");
  out += text(kWidth / 2, 47,
              "ndkdd " + std::to_string(s.ndkdd) + ", iterat " + std::to_string(s.iterat) +
                  ", npacketll " + std::to_string(s.npacketll) + ", infind " +
                  std::to_string(s.infind) + ", seed " + std::to_string(s.seed) + "; mtsweep",
              "font-size=\"13\" text-anchor=\"middle\" fill=\"#444\"");
  out += frame_and_grid(a);
  out += "<g clip-path=\"url(#area)\">\n" + uncoded_bpsk(a);
  const double cap_x = a.x(ebn0_db(r.capacity_an));
  out += line(cap_x, kTop, cap_x, kTop + kPlotH,
              "stroke=\"#7a3e9d\" stroke-width=\"2\" stroke-dasharray=\"2 4\"");
  out += text(cap_x + 6, kTop + 16, "C16 = 3/4", "font-size=\"13\" fill=\"#7a3e9d\"");
  // Legend rows: colour (or line style) and label.
  std::vector<std::pair<std::string, std::string>> legend{{kInputColor, "decoder input"}};
  out += curve(r, s, a, 0, kInputColor);
  for (size_t i = 0; i < iterations.size(); ++i) {
    const char* color = kColors[i % std::size(kColors)];
    out += curve(r, s, a, iterations[i], color);
    legend.emplace_back(color, "after iteration " + std::to_string(iterations[i]));
  }
  out += "</g>\n";
  const double lx = kLeft + kPlotW + 25;
  double ly = kTop + 10;
  for (const auto& [color, label] : legend) {
    out += line(lx, ly, lx + 30, ly, "stroke=\"" + color + "\" stroke-width=\"2\"");
    out += "<circle cx=\"" + num(lx + 15) + "\" cy=\"" + num(ly) + "\" r=\"3.5\" fill=\"" + color +
           "\"/>\n";
    out += text(lx + 40, ly + 5, label, "font-size=\"14\"");
    ly += 24;
  }
  out += line(lx, ly, lx + 30, ly, "stroke=\"#000\" stroke-width=\"1.5\" stroke-dasharray=\"7 5\"");
  out += text(lx + 40, ly + 5, "uncoded BPSK", "font-size=\"14\"");
  ly += 24;
  out += line(lx + 15, ly - 8, lx + 15, ly + 8,
              "stroke=\"#7a3e9d\" stroke-width=\"2\" stroke-dasharray=\"2 4\"");
  out += text(lx + 40, ly + 5, "C16 = 3/4: " + formatted("%.2f", ebn0_db(r.capacity_an)) + " dB",
              "font-size=\"14\"");
  ly += 34;
  const std::string note = "font-size=\"12\" fill=\"#444\"";
  out += text(lx, ly, "bars: 95% interval from the", note);
  out += text(lx, ly + 16, "frame-to-frame variation", note);
  out += "<path d=\"M" + num(lx + 10) + " " + num(ly + 30) +
         "h10l-5 9z\" fill=\"white\" stroke=\"#444\"/>\n";
  out += text(lx + 28, ly + 38, "no errors: upper bound", note);
  out += "</svg>\n";
  return out;
}

}  // namespace mtsweep
