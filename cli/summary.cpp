#include "cli/summary.h"

#include "base/utility.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

namespace {

// Runs of earlier versions have no diversity columns; those of this one do.
constexpr const char* run_header = "generation,food,wall,food_per_animal,best_food,ave_food,animals,plants,seconds";
constexpr const char* diversity_header = ",gene_spread,lineages";

struct run_values_type {
    bool diversity = false;  // the gene_spread and lineages columns are there
    std::vector<std::uint32_t> generation;
    std::vector<double> food_per_animal;
    std::vector<double> ave_food;
    std::vector<double> gene_spread;
    std::vector<double> lineages;
};

bool number(const std::string& text, double& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && std::isfinite(value);
}

std::string read_run(const std::string& path, run_values_type& run)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return path + ": cannot be read";
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    run.diversity = line == std::string(run_header) + diversity_header;
    if (line != run_header && !run.diversity)
        return path + ": not a run CSV (its first line must be \"" + run_header + diversity_header + "\")";
    const std::size_t run_columns = run.diversity ? 11 : 9;
    for (int row = 2; std::getline(in, line); ++row) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> fields;
        for (std::size_t start = 0;;) {
            const std::size_t comma = line.find(',', start);
            fields.push_back(line.substr(start, comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        double generation = 0, per_animal = 0, ave = 0, spread = 0, lineages = 0;
        if (fields.size() != run_columns || !number(fields[0], generation) || !number(fields[3], per_animal) ||
            !number(fields[5], ave) || (run.diversity && (!number(fields[9], spread) || !number(fields[10], lineages))))
            return path + ": line " + std::to_string(row) + " is not a row of " + std::to_string(run_columns) + " numbers";
        run.generation.push_back(static_cast<std::uint32_t>(generation));
        run.food_per_animal.push_back(per_animal);
        run.ave_food.push_back(ave);
        run.gene_spread.push_back(spread);
        run.lineages.push_back(lineages);
    }
    return {};
}

spread_type spread(const std::vector<double>& values)
{
    const double n = static_cast<double>(values.size());
    double sum = 0.0;
    for (double v : values) sum += v;
    const double mean = sum / n;
    double squares = 0.0;
    for (double v : values) squares += (v - mean) * (v - mean);
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return spread_type{mean, values.size() > 1 ? std::sqrt(squares / (n - 1)) : 0.0, *low, *high};
}

}  // namespace

std::string summary_read(const std::vector<std::string>& paths, summary_type& summary)
{
    summary = summary_type{};
    std::vector<run_values_type> runs(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (std::string problem = read_run(paths[i], runs[i]); !problem.empty()) return problem;
    summary.shortest = summary.longest = runs.front().generation.size();
    for (const run_values_type& run : runs) {
        summary.shortest = std::min(summary.shortest, run.generation.size());
        summary.longest = std::max(summary.longest, run.generation.size());
    }
    summary.diversity = std::all_of(runs.begin(), runs.end(), [](const run_values_type& run) { return run.diversity; });
    for (std::size_t g = 0; g < summary.shortest; ++g) {
        std::vector<double> per_animal, ave, genes, lineages;
        for (const run_values_type& run : runs) {
            per_animal.push_back(run.food_per_animal[g]);
            ave.push_back(run.ave_food[g]);
            genes.push_back(run.gene_spread[g]);
            lineages.push_back(run.lineages[g]);
        }
        summary.rows.push_back(summary_row_type{runs.front().generation[g], static_cast<std::uint32_t>(runs.size()),
                                                spread(per_animal), spread(ave), spread(genes), spread(lineages)});
    }
    return {};
}

std::string summary_csv(const summary_type& summary)
{
    std::string text =
        "generation,runs,food_per_animal_mean,food_per_animal_sd,food_per_animal_min,food_per_animal_max,"
        "ave_food_mean,ave_food_sd,ave_food_min,ave_food_max";
    if (summary.diversity)
        text += ",gene_spread_mean,gene_spread_sd,gene_spread_min,gene_spread_max,lineages_mean,lineages_sd,lineages_min,lineages_max";
    text += '\n';
    char row[512];
    for (const summary_row_type& r : summary.rows) {
        format_c(row, sizeof row, "%u,%u", r.generation, r.runs);
        text += row;
        for (const spread_type* s : {&r.food_per_animal, &r.ave_food, &r.gene_spread, &r.lineages}) {
            if (!summary.diversity && s == &r.gene_spread) break;
            format_c(row, sizeof row, ",%.6f,%.6f,%.6f,%.6f", s->mean, s->deviation, s->low, s->high);
            text += row;
        }
        text += '\n';
    }
    return text;
}
