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
