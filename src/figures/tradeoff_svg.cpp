#include "figures/tradeoff_svg.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "figures/figure_svg.hpp"

namespace zk::batch {

namespace {

std::string num(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

}  // namespace

std::string tradeoff_svg(const std::vector<DampingPoint>& curve, double chosen, const std::string& method) {
  constexpr double kWidth = 160.0, kHeight = 120.0;
  constexpr double left = 24.0, right = 150.0, top = 18.0, bottom = 100.0;
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + svg_number(kWidth) + "mm\" height=\"" + svg_number(kHeight) +
                    "mm\" viewBox=\"0 0 " + svg_number(kWidth) + " " + svg_number(kHeight) + "\" font-family=\"sans-serif\">\n"
                    "<title>Trade-off curve of the damping</title>\n"
                    "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += "<text x=\"" + svg_number(kWidth / 2) + "\" y=\"8\" font-size=\"4.5\" font-weight=\"bold\" text-anchor=\"middle\">"
         "Trade-off of the damping: e = " + num("%.4g", chosen) + "</text>\n";
  svg += "<text x=\"" + svg_number(kWidth / 2) + "\" y=\"13\" font-size=\"3\" text-anchor=\"middle\">" + xml_text(method) +
         "</text>\n";
  svg += "<path d=\"M" + svg_number(left) + " " + svg_number(top) + " V" + svg_number(bottom) + " H" + svg_number(right) +
         "\" fill=\"none\" stroke=\"black\" stroke-width=\"0.3\"/>\n";
  svg += "<text x=\"" + svg_number((left + right) / 2) + "\" y=\"" + svg_number(bottom + 12) +
         "\" font-size=\"3.5\" text-anchor=\"middle\">model length (sum of squared neighbour differences)</text>\n";
  svg += "<text transform=\"translate(" + svg_number(left - 14) + " " + svg_number((top + bottom) / 2) +
         ") rotate(-90)\" font-size=\"3.5\" text-anchor=\"middle\">misfit (data variance)</text>\n";
  if (curve.empty()) return svg + "</svg>\n";
  double x0 = curve.front().model_length, x1 = x0, y0 = curve.front().misfit, y1 = y0;
  for (const DampingPoint& p : curve) {
    x0 = std::min(x0, p.model_length);
    x1 = std::max(x1, p.model_length);
    y0 = std::min(y0, p.misfit);
    y1 = std::max(y1, p.misfit);
  }
  const auto sx = [&](double x) { return x1 > x0 ? left + 4 + (x - x0) / (x1 - x0) * (right - left - 8) : (left + right) / 2; };
  const auto sy = [&](double y) { return y1 > y0 ? bottom - 4 - (y - y0) / (y1 - y0) * (bottom - top - 8) : (top + bottom) / 2; };
  for (const auto& [value, x] : {std::pair{x0, sx(x0)}, std::pair{x1, sx(x1)}}) {
    svg += "<text x=\"" + svg_number(x) + "\" y=\"" + svg_number(bottom + 5) + "\" font-size=\"2.8\" text-anchor=\"middle\">" +
           num("%.3g", value) + "</text>\n";
  }
  for (const auto& [value, y] : {std::pair{y0, sy(y0)}, std::pair{y1, sy(y1)}}) {
    svg += "<text x=\"" + svg_number(left - 1.5) + "\" y=\"" + svg_number(y + 1) + "\" font-size=\"2.8\" text-anchor=\"end\">" +
           num("%.3g", value) + "</text>\n";
  }
  std::string path;
  for (const DampingPoint& p : curve) path += (path.empty() ? "M" : " L") + svg_number(sx(p.model_length)) + " " + svg_number(sy(p.misfit));
  svg += "<path d=\"" + path + "\" fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"0.4\"/>\n";
  double last_x = -1e9, last_y = -1e9;  // the last point named: names never overlap
  for (std::size_t k = 0; k < curve.size(); ++k) {
    const DampingPoint& p = curve[k];
    const bool is_chosen = p.e == chosen;
    svg += "<circle cx=\"" + svg_number(sx(p.model_length)) + "\" cy=\"" + svg_number(sy(p.misfit)) + "\" r=\"" +
           (is_chosen ? "1.6\" fill=\"none\" stroke=\"#c0392b\" stroke-width=\"0.6\"" : "0.7\" fill=\"#1f4e9c\"") +
           "><title>e = " + num("%.4g", p.e) + "</title></circle>\n";
    // Every fourth e named beside its point where there is room, and the chosen one.
    const double x = sx(p.model_length), y = sy(p.misfit);
    if (is_chosen || (k % 4 == 0 && std::hypot(x - last_x, y - last_y) > 8.0)) {
      last_x = x;
      last_y = y;
      svg += "<text x=\"" + svg_number(sx(p.model_length) + 2) + "\" y=\"" + svg_number(sy(p.misfit) - 1.5) + "\" font-size=\"" +
             (is_chosen ? "3.2\" fill=\"#c0392b\"" : "2.4\" fill=\"#555555\"") + ">e " + num("%.3g", p.e) + "</text>\n";
    }
  }
  return svg + "</svg>\n";
}

}  // namespace zk::batch
