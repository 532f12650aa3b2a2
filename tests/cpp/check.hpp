// A minimal test harness for the core: TEST(name) registers a case, CHECK and
// CHECK_NEAR record failures with their location, main() runs every case and
// ends with the "N passed, N failed" line.
#pragma once

#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace check {

struct Case {
    const char* name;
    std::function<void()> body;
};

inline std::vector<Case>& registry() {
    static std::vector<Case> cases;
    return cases;
}

inline int& failures() {
    static int count = 0;
    return count;
}

struct Register {
    Register(const char* name, std::function<void()> body) {
        registry().push_back({name, std::move(body)});
    }
};

inline void fail(const char* file, int line, const std::string& what) {
    ++failures();
    std::fprintf(stderr, "%s:%d: %s\n", file, line, what.c_str());
}

inline int run_all() {
    int passed = 0;
    int failed = 0;
    for (const Case& c : registry()) {
        const int before = failures();
        try {
            c.body();
        } catch (const std::exception& e) {
            fail(c.name, 0, std::string("unexpected exception: ") + e.what());
        }
        if (failures() == before) {
            ++passed;
        } else {
            ++failed;
            std::fprintf(stderr, "FAILED: %s\n", c.name);
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

}  // namespace check

#define CHECK_CAT2(a, b) a##b
#define CHECK_CAT(a, b) CHECK_CAT2(a, b)
#define TEST(name)                                                              \
    static void name();                                                         \
    static const ::check::Register CHECK_CAT(register_, name)(#name, &name);    \
    static void name()

#define CHECK(cond)                                                             \
    do {                                                                        \
        if (!(cond)) ::check::fail(__FILE__, __LINE__, "CHECK(" #cond ")");     \
    } while (0)

#define CHECK_EQ(a, b)                                                          \
    do {                                                                        \
        if (!((a) == (b))) ::check::fail(__FILE__, __LINE__, "CHECK_EQ(" #a ", " #b ")"); \
    } while (0)

#define CHECK_NEAR(a, b, tol)                                                   \
    do {                                                                        \
        const double check_a_ = (a), check_b_ = (b);                            \
        if (!(std::fabs(check_a_ - check_b_) <= (tol)))                         \
            ::check::fail(__FILE__, __LINE__,                                   \
                          "CHECK_NEAR(" #a ", " #b "): " + std::to_string(check_a_) + \
                              " vs " + std::to_string(check_b_));               \
    } while (0)

#define CHECK_THROWS(expr, type)                                                \
    do {                                                                        \
        bool check_thrown_ = false;                                             \
        try {                                                                   \
            (void)(expr);                                                       \
        } catch (const type&) {                                                 \
            check_thrown_ = true;                                               \
        }                                                                       \
        if (!check_thrown_) ::check::fail(__FILE__, __LINE__, "CHECK_THROWS(" #expr ")"); \
    } while (0)
