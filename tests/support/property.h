#ifndef VELMAR_TESTS_PROPERTY_H
#define VELMAR_TESTS_PROPERTY_H

#include <rapidcheck.h>

#include <cstdint>
#include <iostream>
#include <string>

// A rapidcheck property over generated inputs, from a fixed seed: every run
// tries the same inputs, so a failure is the same on every machine. A
// counterexample, shrunk, goes to standard error.
template <typename Testable>
bool holds(const std::string &description, Testable &&property, uint64_t seed = 20261207,
           int cases = 100)
{
    rc::detail::TestMetadata metadata;
    metadata.id = description;
    metadata.description = description;
    rc::detail::TestParams params;
    params.seed = seed;
    params.maxSuccess = cases;
    const rc::detail::TestResult result =
        rc::detail::checkTestable(std::forward<Testable>(property), metadata, params);
    if (!result.template is<rc::detail::SuccessResult>()) {
        std::cerr << description << ": ";
        rc::detail::printResultMessage(result, std::cerr);
        std::cerr << std::endl;
        return false;
    }
    return true;
}

#endif
