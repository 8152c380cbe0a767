#include "app/summarize.h"

#include "cli/options.h"
#include "cli/summary.h"
#include "render/chart.h"
#include "render/surface.h"

#include <QGuiApplication>

#include <cstdio>

namespace {

chart_type summary_chart(const summary_type& summary)
{
    chart_type chart{std::to_string(summary.rows.empty() ? 0 : summary.rows.front().runs) + " runs: mean, with the range from minimum to maximum",
                     "generation", "food per animal", {}, 0, {}};
    chart_series_type per_animal{"food per animal", 0x1F77B4, {}, {}, {}, {}, {}};
    chart_series_type running{"running mean", 0xD62728, {}, {}, {}, {}, {}};
    for (const summary_row_type& row : summary.rows) {
        per_animal.values.push_back(row.food_per_animal.mean);
        per_animal.low.push_back(row.food_per_animal.low);
        per_animal.high.push_back(row.food_per_animal.high);
        running.values.push_back(row.ave_food.mean);
        running.low.push_back(row.ave_food.low);
        running.high.push_back(row.ave_food.high);
    }
    chart.series = {per_animal, running};
    return chart;
}

}  // namespace

int summarize_main(int argc, char** argv, const options_type& options)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");  // no display needed
    // Drawing a PNG needs no desktop session: the toolkit's notes about one are not for the user.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!options.summary_muller.empty()) {
        line_bands_type bands;
        if (const std::string problem = lineage_read(options.summary_muller, muller_colours, options.summary_line_horizon, bands);
            !problem.empty()) {
            std::fprintf(stderr, "velmora: %s\n", problem.c_str());
            return 1;
        }
        QGuiApplication application(argc, argv);
        const muller_type muller = muller_of(line_bands_title(options.summary_line_horizon), bands.labels, bands.counts, bands.population);
        if (const std::string reason = surface_save_png(muller_image(muller, 960, 600), options.summary_plot); !reason.empty()) {
            std::fprintf(stderr, "velmora: cannot write %s: %s\n", options.summary_plot.c_str(), reason.c_str());
            return 1;
        }
        return 0;
    }
    summary_type summary;
    if (const int status = summary_write(options, summary); status != 0) return status;
    if (options.summary_plot.empty()) return 0;
    QGuiApplication application(argc, argv);
    if (const std::string reason = surface_save_png(chart_image(summary_chart(summary), 960, 600), options.summary_plot); !reason.empty()) {
        std::fprintf(stderr, "velmora: cannot write %s: %s\n", options.summary_plot.c_str(), reason.c_str());
        return 1;
    }
    return 0;
}
