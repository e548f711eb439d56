#ifndef VELMAR_TESTS_PROPERTY_H
#define VELMAR_TESTS_PROPERTY_H

#include <QtCore/QtGlobal>

#include <rapidcheck.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>

// The seed every property starts from unless it names its own: every run
// tries the same inputs, so a failure is the same on every machine.
constexpr std::uint64_t property_seed = 20261207;

// Whether a rapidcheck property holds for generated inputs from a fixed
// seed. A counterexample, shrunk, goes to the test's log under the
// property's description.
template <typename Property>
bool holds(const std::string &description, Property &&property, std::uint64_t seed = property_seed,
           int cases = 100)
{
    // rapidcheck reads its settings once, and names a seed of its own when
    // given none: name the first property's, so that what it prints is true.
    if (!qEnvironmentVariableIsSet("RC_PARAMS"))
        qputenv("RC_PARAMS", "seed=" + QByteArray::number(quint64(seed)));
    rc::detail::TestMetadata metadata;
    metadata.id = description;
    metadata.description = description;
    rc::detail::TestParams params;
    params.seed = seed;
    params.maxSuccess = cases;
    const rc::detail::TestResult result =
        rc::detail::checkTestable(std::forward<Property>(property), metadata, params);
    if (result.template is<rc::detail::SuccessResult>())
        return true;
    std::ostringstream message;
    rc::detail::printResultMessage(result, message);
    qWarning("%s: %s", description.c_str(), message.str().c_str());
    return false;
}

#endif
