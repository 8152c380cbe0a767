// The summary of many runs: per generation, how food per animal and its
// running mean spread over the runs' CSV files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct spread_type {
    double mean;
    double deviation;  // sample standard deviation (n - 1); 0 for one run
    double low;        // minimum
    double high;       // maximum
};

struct summary_row_type {
    std::uint32_t generation;
    std::uint32_t runs;
    spread_type food_per_animal;
    spread_type ave_food;
    spread_type gene_spread;   // when the runs have it
    spread_type lineages;
};

struct summary_type {
    std::vector<summary_row_type> rows;  // the generations every run has
    std::size_t shortest = 0;            // generations of the shortest run
    std::size_t longest = 0;             // generations of the longest run
    bool diversity = false;              // every run has gene_spread and lineages
};

// Reads the runs; returns an empty text, or a reason naming the file.
std::string summary_read(const std::vector<std::string>& paths, summary_type& summary);
std::string summary_csv(const summary_type& summary);  // header and one row per generation

struct options_type;
// summarize without a picture: reads the runs of the options, says when they
// differ in length, and writes the CSV to --out or standard output. Returns
// the exit status; the summary is left for a picture of it.
int summary_write(const options_type& options, summary_type& summary);

// Lines counted afresh every horizon generations: at each count (generation
// 0, horizon, 2 horizon, ...) every animal alive begins a line, which its
// descendants along first parents carry until the next count; horizon 0
// counts once, at the start, so that lines are founders' lines. Shown as
// bands by rank: band k holds, at each generation, the animals of the k-th
// largest line (by animal-generations) of that generation's count, so that
// the bands show lines rising and falling however long the run.
struct line_bands_type {
    std::vector<std::vector<double>> counts;    // per band, largest first, per generation
    std::vector<double> population;             // per generation
    std::vector<std::string> labels;            // per band: "largest line", "2nd largest", ...
};

// The bands from each generation's lines and their animals.
line_bands_type line_bands(const std::vector<std::vector<std::pair<std::uint64_t, double>>>& lines_at,
                           std::vector<double> population, std::uint32_t horizon, std::size_t most_lines);
std::string line_bands_title(std::uint32_t horizon);   // what a picture of them is headed with

// The bands of a family tree written by --lineage, lines counted along first
// parents. Returns an empty text, or a reason naming the file and the line.
std::string lineage_read(const std::string& path, std::size_t most_lines, std::uint32_t horizon, line_bands_type& bands);
