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

// The largest founder lines of a family tree written by --lineage: per
// generation, how many animals of each line lived, and of all lines.
struct lineage_lines_type {
    std::vector<std::uint64_t> founders;        // the largest lines, by animal-generations lived
    std::vector<std::vector<double>> counts;    // per line, per generation
    std::vector<double> population;             // per generation
};

// Reads a lineage file; returns an empty text, or a reason naming the file and the line.
std::string lineage_read(const std::string& path, std::size_t most_lines, lineage_lines_type& lines);
