#include "cli/summary.h"

#include "base/file.h"
#include "base/system.h"
#include "base/utility.h"
#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <unordered_map>

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
    return parse_double(text, value) && std::isfinite(value);
}

std::string read_run(const std::string& path, run_values_type& run)
{
    std::ifstream in(system_path(path), std::ios::binary);
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

line_bands_type line_bands(const std::vector<std::vector<std::pair<std::uint64_t, double>>>& lines_at,
                           std::vector<double> population, std::uint32_t horizon, std::size_t most_lines)
{
    line_bands_type bands;
    const std::size_t generations = lines_at.size();
    bands.population = std::move(population);
    bands.population.resize(generations, 0.0);
    bands.counts.assign(most_lines, std::vector<double>(generations, 0.0));
    const std::size_t span = horizon > 0 ? horizon : std::max<std::size_t>(generations, 1);
    std::size_t used = 0;
    for (std::size_t first = 0; first < generations; first += span) {
        const std::size_t end = std::min(generations, first + span);
        // This count's lines, largest first; among equals, the older line first.
        std::unordered_map<std::uint64_t, double> totals;
        for (std::size_t g = first; g < end; ++g)
            for (const auto& [line, animals] : lines_at[g]) totals[line] += animals;
        std::vector<std::pair<double, std::uint64_t>> largest;
        for (const auto& [line, total] : totals) largest.emplace_back(-total, line);
        std::sort(largest.begin(), largest.end());
        std::unordered_map<std::uint64_t, std::size_t> band;
        for (std::size_t k = 0; k < largest.size() && k < most_lines; ++k) band[largest[k].second] = k;
        used = std::max(used, band.size());
        for (std::size_t g = first; g < end; ++g)
            for (const auto& [line, animals] : lines_at[g])
                if (const auto b = band.find(line); b != band.end()) bands.counts[b->second][g] += animals;
    }
    bands.counts.resize(used);
    static const char* const ranks[] = {"largest line", "2nd largest", "3rd largest", "4th largest",
                                        "5th largest",  "6th largest", "7th largest", "8th largest"};
    for (std::size_t k = 0; k < used; ++k) bands.labels.push_back(k < std::size(ranks) ? ranks[k] : std::to_string(k + 1) + "th largest");
    return bands;
}

std::string line_bands_title(std::uint32_t horizon)
{
    if (horizon == 0) return "Founder lines' shares of the population";
    return "Lines' shares, counted afresh every " + std::to_string(horizon) + " generations";
}

std::string lineage_read(const std::string& path, std::size_t most_lines, std::uint32_t horizon, line_bands_type& bands)
{
    bands = line_bands_type{};
    std::ifstream in(system_path(path), std::ios::binary);
    if (!in) return path + ": cannot be read";
    struct life_type {
        std::uint64_t parent;     // first parent; 0 for a founder
        std::uint64_t origin;
        std::uint64_t end;        // the first generation it did not live in; 0 while living
    };
    std::unordered_map<std::uint64_t, life_type> lives;
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line != "id,ancestor_list,origin_time,destruction_time")
        return path + ": not a lineage file (its first line must be \"id,ancestor_list,origin_time,destruction_time\")";
    std::uint64_t last = 0;  // the last generation any row tells of
    for (int row = 2; std::getline(in, line); ++row) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        unsigned long long id = 0, parent = 0, origin = 0, end = 0;
        char tail[32] = "";
        // A founder: made here ([NONE]) or added from an animal file ([IMPORTED its id there]).
        const bool founder = (std::sscanf(line.c_str(), "%llu,[NONE],%llu,%31s", &id, &origin, tail) >= 2 && line.find("[NONE]") != std::string::npos) ||
                             (std::sscanf(line.c_str(), "%llu,[IMPORTED %*u],%llu,%31s", &id, &origin, tail) >= 2 &&
                              line.find(",[IMPORTED ") != std::string::npos);
        const bool child = !founder && std::sscanf(line.c_str(), "%llu,\"[%llu,%*u]\",%llu,%31s", &id, &parent, &origin, tail) >= 3;
        if ((!founder && !child) || id == 0) return path + ": line " + std::to_string(row) + " is not a row of a lineage file";
        if (tail[0] != '\0') end = std::strtoull(tail, nullptr, 10);
        lives[id] = life_type{parent, origin, end};
        last = std::max<std::uint64_t>(last, std::max(origin, end));
    }
    const std::size_t generations = static_cast<std::size_t>(std::min<std::uint64_t>(last, 1u << 24)) + 1;
    const std::size_t span = horizon > 0 ? horizon : generations;
    std::vector<std::unordered_map<std::uint64_t, double>> per_generation(generations);
    std::vector<double> population(generations + 1, 0.0);
    for (std::size_t first = 0; first < generations; first += span) {
        // Each animal's line at this count: its ancestor along first parents
        // that lived at the count's first generation; an ancestor missing from
        // the file, or a founder born later, ends the walk.
        std::unordered_map<std::uint64_t, std::uint64_t> line_of;
        const auto line_at = [&](std::uint64_t id) {
            std::uint64_t at = id;
            std::vector<std::uint64_t> walked;
            for (std::size_t steps = 0; steps <= lives.size(); ++steps) {
                if (const auto known = line_of.find(at); known != line_of.end()) {
                    at = known->second;
                    break;
                }
                walked.push_back(at);
                const auto life = lives.find(at);
                if (life == lives.end() || life->second.origin <= first || life->second.parent == 0) break;
                at = life->second.parent;
            }
            for (const std::uint64_t on : walked) line_of[on] = at;
            return at;
        };
        const std::size_t end = std::min(generations, first + span);
        for (const auto& [id, life] : lives) {
            const std::size_t from = std::max<std::size_t>(first, std::min<std::uint64_t>(life.origin, generations));
            const std::size_t to = std::min<std::size_t>(end, std::min<std::uint64_t>(life.end != 0 ? life.end : last + 1, generations));
            if (to <= from) continue;
            const std::uint64_t root = line_at(id);
            for (std::size_t g = from; g < to; ++g) per_generation[g][root] += 1.0;
            population[from] += 1;
            population[to] -= 1;
        }
    }
    population.pop_back();
    for (std::size_t g = 1; g < generations; ++g) population[g] += population[g - 1];
    std::vector<std::vector<std::pair<std::uint64_t, double>>> lines_at(generations);
    for (std::size_t g = 0; g < generations; ++g) lines_at[g].assign(per_generation[g].begin(), per_generation[g].end());
    bands = line_bands(lines_at, std::move(population), horizon, most_lines);
    return {};
}

int summary_write(const options_type& options, summary_type& summary)
{
    if (const std::string problem = summary_read(options.summary_inputs, summary); !problem.empty()) {
        std::fprintf(stderr, "velmora: %s\n", problem.c_str());
        return 1;
    }
    if (summary.shortest != summary.longest)
        std::fprintf(stderr, "velmora: the runs have %zu to %zu generations; the summary covers the first %zu, which all share\n",
                     summary.shortest, summary.longest, summary.shortest);
    const std::string text = summary_csv(summary);
    if (options.summary_out.empty()) {
        std::fputs(text.c_str(), stdout);
    } else if (const refusal_type reason = file_replace(options.summary_out, text); !reason.empty()) {
        std::fprintf(stderr, "velmora: cannot write %s: %s\n", options.summary_out.c_str(), reason.c_str());
        return 1;
    }
    return 0;
}
