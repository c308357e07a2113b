// Redrawing the timeline picture: a full 380-segment session and a
// one-segment session into a window-sized image (what a repaint of the
// timeline window costs), and the whole session written as SVG.

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QSvgGenerator>

#include "plot/SessionPlot.h"
#include "VariedSession.h"

namespace {

void Redraw(benchmark::State& state, int segments) {
  const ovrel::Session ses = VariedSession(segments);
  ovrel::SessionPlot plot(ses);
  plot.SetSize({1200, 400});
  plot.SetSelection(10, 20);
  QImage image(plot.Size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    QPainter p(&image);
    plot.Paint(p);
    p.end();
    benchmark::DoNotOptimize(image.constBits());
  }
}

void BM_RedrawTimeline380(benchmark::State& state) {
  Redraw(state, 380);
}
BENCHMARK(BM_RedrawTimeline380)->Unit(benchmark::kMicrosecond);

void BM_RedrawTimeline1(benchmark::State& state) {
  Redraw(state, 1);
}
BENCHMARK(BM_RedrawTimeline1)->Unit(benchmark::kMicrosecond);

void BM_WriteSvg380(benchmark::State& state) {
  const ovrel::Session ses = VariedSession(380);
  ovrel::SessionPlot plot(ses);
  plot.SetSize({1200, 400});
  for (auto _ : state) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(plot.Size());
    QPainter p(&svg);
    plot.Paint(p);
    p.end();
    benchmark::DoNotOptimize(buffer.data().size());
  }
}
BENCHMARK(BM_WriteSvg380)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // Fonts need a GUI application; the offscreen platform needs no display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
