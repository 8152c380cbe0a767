#include "cli/summary.h"

#include "base/utility.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

namespace {

constexpr const char* run_header = "generation,food,wall,food_per_animal,best_food,ave_food,animals,plants,seconds";
constexpr int run_columns = 9;

struct run_values_type {
    std::vector<std::uint32_t> generation;
    std::vector<double> food_per_animal;
    std::vector<double> ave_food;
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
    if (line != run_header) return path + ": not a run CSV (its first line must be \"" + run_header + "\")";
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
        double generation = 0, per_animal = 0, ave = 0;
        if (fields.size() != run_columns || !number(fields[0], generation) || !number(fields[3], per_animal) ||
            !number(fields[5], ave))
            return path + ": line " + std::to_string(row) + " is not a row of " + std::to_string(run_columns) + " numbers";
        run.generation.push_back(static_cast<std::uint32_t>(generation));
        run.food_per_animal.push_back(per_animal);
        run.ave_food.push_back(ave);
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
    for (std::size_t g = 0; g < summary.shortest; ++g) {
        std::vector<double> per_animal, ave;
        for (const run_values_type& run : runs) {
            per_animal.push_back(run.food_per_animal[g]);
            ave.push_back(run.ave_food[g]);
        }
        summary.rows.push_back(summary_row_type{runs.front().generation[g], static_cast<std::uint32_t>(runs.size()),
                                                spread(per_animal), spread(ave)});
    }
    return {};
}

std::string summary_csv(const summary_type& summary)
{
    std::string text =
        "generation,runs,food_per_animal_mean,food_per_animal_sd,food_per_animal_min,food_per_animal_max,"
        "ave_food_mean,ave_food_sd,ave_food_min,ave_food_max\n";
    char row[512];
    for (const summary_row_type& r : summary.rows) {
        format_c(row, sizeof row, "%u,%u,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f\n", r.generation, r.runs,
                 r.food_per_animal.mean, r.food_per_animal.deviation, r.food_per_animal.low, r.food_per_animal.high,
                 r.ave_food.mean, r.ave_food.deviation, r.ave_food.low, r.ave_food.high);
        text += row;
    }
    return text;
}
