// The fixed-point kernel against the float operations it stands in for. Every benchmark
// runs one operation over the same 1024 prepared random inputs and keeps every result
// (DoNotOptimize), so nothing is folded or vectorised away. At the end the fixed/float
// time ratios are printed next to the targets; run with --benchmark_repetitions=N on a
// busy machine, the fastest repetition of each is used.
#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "fixed.h"

namespace {

constexpr int N = 1024;
constexpr int MATRICES = 64;

struct Inputs {
    Fixed mulA[N], mulB[N];
    float mulAf[N], mulBf[N];
    Fixed divA[N], divB[N];
    float divAf[N], divBf[N];
    Fixed sqrtV[N];
    float sqrtVf[N];
    Fixed angle[N];
    float anglef[N];
    Vec3 vec[N];
    float vecf[N][3];
    Matrix4 matrix[MATRICES];
    float matrixf[MATRICES][16];
};

float toFloat(Fixed v) { return static_cast<float>(v) / 65536.0f; }

Inputs makeInputs() {
    Inputs in;
    std::mt19937 rng(2024);
    auto uniform = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto fixedIn = [&uniform](double lo, double hi) { return static_cast<Fixed>(uniform(lo, hi) * 65536.0); };
    for (int i = 0; i < N; ++i) {
        in.mulA[i] = fixedIn(-256, 256);
        in.mulB[i] = fixedIn(-256, 256);
        in.divA[i] = fixedIn(-1000, 1000);
        // Divisors from 0.01 to 1000 in magnitude, evenly over the exponents: both paths.
        const double magnitude = std::pow(10.0, uniform(-2, 3));
        in.divB[i] = static_cast<Fixed>((rng() & 1 ? magnitude : -magnitude) * 65536.0);
        in.sqrtV[i] = fixedIn(0, 32000);
        in.angle[i] = fixedIn(-8, 8);
        Vec3Set(in.vec[i], fixedIn(-100, 100), fixedIn(-100, 100), fixedIn(-100, 100));
        in.mulAf[i] = toFloat(in.mulA[i]);
        in.mulBf[i] = toFloat(in.mulB[i]);
        in.divAf[i] = toFloat(in.divA[i]);
        in.divBf[i] = toFloat(in.divB[i]);
        in.sqrtVf[i] = toFloat(in.sqrtV[i]);
        in.anglef[i] = toFloat(in.angle[i]);
        in.vecf[i][0] = toFloat(in.vec[i].x);
        in.vecf[i][1] = toFloat(in.vec[i].y);
        in.vecf[i][2] = toFloat(in.vec[i].z);
    }
    for (int m = 0; m < MATRICES; ++m)
        for (int e = 0; e < 16; ++e) {
            in.matrix[m].m[e] = fixedIn(-4, 4);
            in.matrixf[m][e] = toFloat(in.matrix[m].m[e]);
        }
    return in;
}

const Inputs& inputs() {
    static const Inputs in = makeInputs();
    return in;
}

// Float counterparts, kept out of line like the library's fixed routines.
__attribute__((noinline)) void floatMatrixMultiply(const float* l, const float* r, float* out) {
    auto e = [l, r](int row, int column) {
        const float* c = r + 4 * column;
        return l[row] * c[0] + l[4 + row] * c[1] + l[8 + row] * c[2] + l[12 + row] * c[3];
    };
    const float t[16] = {e(0, 0), e(1, 0), e(2, 0), e(3, 0), e(0, 1), e(1, 1), e(2, 1), e(3, 1),
                         e(0, 2), e(1, 2), e(2, 2), e(3, 2), e(0, 3), e(1, 3), e(2, 3), e(3, 3)};
    for (int i = 0; i < 16; ++i) out[i] = t[i];
}

__attribute__((noinline)) float floatNormalize(float* v) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    v[0] = v[0] / length;
    v[1] = v[1] / length;
    v[2] = v[2] / length;
    return v[2];
}

__attribute__((noinline)) void floatCross(const float* a, const float* b, float* out) {
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

template <typename Body>
void runOverInputs(benchmark::State& state, Body body) {
    for (auto _ : state)
        for (int i = 0; i < N; ++i) body(i);
    state.SetItemsProcessed(state.iterations() * N);
}

void Fixed_Mul(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        Fixed r = FixedMul(in.mulA[i], in.mulB[i]);
        benchmark::DoNotOptimize(r);
    });
}
void Float_Mul(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        float r = in.mulAf[i] * in.mulBf[i];
        benchmark::DoNotOptimize(r);
    });
}

void Fixed_Div(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        Fixed r = FixedDiv(in.divA[i], in.divB[i]);
        benchmark::DoNotOptimize(r);
    });
}
void Float_Div(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        float r = in.divAf[i] / in.divBf[i];
        benchmark::DoNotOptimize(r);
    });
}

void Fixed_Sqrt(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        Fixed r = FixedSqrt(in.sqrtV[i]);
        benchmark::DoNotOptimize(r);
    });
}
void Float_Sqrt(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        float r = std::sqrt(in.sqrtVf[i]);
        benchmark::DoNotOptimize(r);
    });
}

// Latency: every operation waits for the one before. The previous result enters the next
// input through an AND with a zero the compiler cannot see and an XOR (two one-cycle
// steps for both kinds), so the inputs stay the prepared ones. A square root is six
// dependent divisions, so this is the measure to hold it against one division.
template <typename Step>
void runChained(benchmark::State& state, Step step) {
    uint32_t zero = 0;
    benchmark::DoNotOptimize(zero);
    for (auto _ : state) {
        uint32_t carry = 0;
        for (int i = 0; i < N; ++i) carry = step(i, carry & zero);
        benchmark::DoNotOptimize(carry);
    }
    state.SetItemsProcessed(state.iterations() * N);
}

void Fixed_DivLatency(benchmark::State& state) {
    const Inputs& in = inputs();
    runChained(state, [&in](int i, uint32_t carry) {
        return static_cast<uint32_t>(FixedDiv(in.divA[i], static_cast<Fixed>(static_cast<uint32_t>(in.divB[i]) ^ carry)));
    });
}
void Fixed_SqrtLatency(benchmark::State& state) {
    const Inputs& in = inputs();
    runChained(state, [&in](int i, uint32_t carry) {
        return static_cast<uint32_t>(FixedSqrt(static_cast<Fixed>(static_cast<uint32_t>(in.sqrtV[i]) ^ carry)));
    });
}

// The float chains do the same AND and XOR on the float's bits, in the vector registers
// where the float lives.
template <typename Step>
void runChainedFloat(benchmark::State& state, Step step) {
    __m128 zero = _mm_setzero_ps();
    benchmark::DoNotOptimize(zero);
    for (auto _ : state) {
        __m128 carry = _mm_setzero_ps();
        for (int i = 0; i < N; ++i) carry = step(i, _mm_and_ps(carry, zero));
        benchmark::DoNotOptimize(carry);
    }
    state.SetItemsProcessed(state.iterations() * N);
}

void Float_DivLatency(benchmark::State& state) {
    const Inputs& in = inputs();
    runChainedFloat(state, [&in](int i, __m128 carry) {
        return _mm_div_ss(_mm_load_ss(&in.divAf[i]), _mm_xor_ps(_mm_load_ss(&in.divBf[i]), carry));
    });
}
void Float_SqrtLatency(benchmark::State& state) {
    const Inputs& in = inputs();
    runChainedFloat(state, [&in](int i, __m128 carry) {
        return _mm_sqrt_ss(_mm_xor_ps(_mm_load_ss(&in.sqrtVf[i]), carry));
    });
}

void Fixed_Sin(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        Fixed r = FixedSin(in.angle[i]);
        benchmark::DoNotOptimize(r);
    });
}
void Float_Sin(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        float r = std::sin(in.anglef[i]);
        benchmark::DoNotOptimize(r);
    });
}

void Fixed_Cos(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        Fixed r = FixedCos(in.angle[i]);
        benchmark::DoNotOptimize(r);
    });
}
void Float_Cos(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        float r = std::cos(in.anglef[i]);
        benchmark::DoNotOptimize(r);
    });
}

void Fixed_Matrix4Multiply(benchmark::State& state) {
    const Inputs& in = inputs();
    Matrix4 out;
    for (auto _ : state)
        for (int m = 0; m < MATRICES; ++m) {
            Matrix4Multiply(in.matrix[m], in.matrix[(m + 1) % MATRICES], out);
            benchmark::DoNotOptimize(out);
        }
    state.SetItemsProcessed(state.iterations() * MATRICES);
}
// The plain integer product, for processors without the wide instructions.
void Fixed_Matrix4MultiplyPortable(benchmark::State& state) {
    const Inputs& in = inputs();
    Matrix4 out;
    for (auto _ : state)
        for (int m = 0; m < MATRICES; ++m) {
            fixed_detail::Matrix4MultiplyPortable(in.matrix[m], in.matrix[(m + 1) % MATRICES], out);
            benchmark::DoNotOptimize(out);
        }
    state.SetItemsProcessed(state.iterations() * MATRICES);
}
void Float_Matrix4Multiply(benchmark::State& state) {
    const Inputs& in = inputs();
    float out[16];
    for (auto _ : state)
        for (int m = 0; m < MATRICES; ++m) {
            floatMatrixMultiply(in.matrixf[m], in.matrixf[(m + 1) % MATRICES], out);
            benchmark::DoNotOptimize(out);
        }
    state.SetItemsProcessed(state.iterations() * MATRICES);
}

void Fixed_Vec3Normalize(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        Vec3 v = in.vec[i];
        benchmark::DoNotOptimize(Vec3Normalize(v));
    });
}
void Float_Vec3Normalize(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        float v[3] = {in.vecf[i][0], in.vecf[i][1], in.vecf[i][2]};
        benchmark::DoNotOptimize(floatNormalize(v));
    });
}

void Fixed_Vec3Cross(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        Vec3 out;
        Vec3Cross(in.vec[i], in.vec[(i + 1) % N], out);
        benchmark::DoNotOptimize(out);
    });
}
void Float_Vec3Cross(benchmark::State& state) {
    const Inputs& in = inputs();
    runOverInputs(state, [&in](int i) {
        float out[3];
        floatCross(in.vecf[i], in.vecf[(i + 1) % N], out);
        benchmark::DoNotOptimize(out);
    });
}

double fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

#define PAIR(name)                                            \
    BENCHMARK(Fixed_##name)->ComputeStatistics("min", fastest); \
    BENCHMARK(Float_##name)->ComputeStatistics("min", fastest)
PAIR(Mul);
PAIR(Div);
PAIR(Sqrt);
PAIR(DivLatency);
PAIR(SqrtLatency);
PAIR(Sin);
PAIR(Cos);
PAIR(Matrix4Multiply);
BENCHMARK(Fixed_Matrix4MultiplyPortable)->ComputeStatistics("min", fastest);
PAIR(Vec3Normalize);
PAIR(Vec3Cross);

// Prints the usual table, then the fixed/float ratios against their targets.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && (run.run_type == Run::RT_Iteration || run.aggregate_name == "min")) {
                // With repetitions the fastest run counts: other load only ever adds time.
                const std::string name = run.run_name.function_name;
                const double t = run.GetAdjustedCPUTime();
                auto found = cpuTime.find(name);
                if (found == cpuTime.end() || t < found->second) cpuTime[name] = t;
            }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-24s %8s %8s\n", "fixed / float", "ratio", "target");
        ratio("Mul", "Float_Mul", 1.5);
        ratio("Div", "Float_Div", 3.0);
        ratio("Sqrt", "Float_Sqrt", 0);
        ratio("DivLatency", "Float_DivLatency", 3.0);
        ratio("SqrtLatency", "Float_SqrtLatency", 0);
        ratio("Sin", "Float_Sin", 1.5);
        ratio("Cos", "Float_Cos", 1.5);
        ratio("Matrix4Multiply", "Float_Matrix4Multiply", 1.5);
        ratio("Matrix4MultiplyPortable", "Float_Matrix4Multiply", 0);
        ratio("Vec3Normalize", "Float_Vec3Normalize", 1.5);
        ratio("Vec3Cross", "Float_Vec3Cross", 1.5);
        std::printf("\n");
        line("fixed Sqrt / Div, chained", "Fixed_SqrtLatency", "Fixed_DivLatency", 6.5);
        line("fixed Sqrt / Div, free", "Fixed_Sqrt", "Fixed_Div", 6.5);
    }

private:
    void ratio(const std::string& name, const std::string& base, double target) {
        line(name, "Fixed_" + name, base, target);
    }
    void line(const std::string& label, const std::string& top, const std::string& bottom, double target) {
        auto a = cpuTime.find(top), b = cpuTime.find(bottom);
        if (a == cpuTime.end() || b == cpuTime.end() || b->second <= 0) return;
        const double r = a->second / b->second;
        if (target > 0)
            std::printf("%-28s %8.2f %8.2f %s\n", label.c_str(), r, target, r <= target ? "met" : "MISSED");
        else
            std::printf("%-28s %8.2f %8s\n", label.c_str(), r, "-");
    }
    std::map<std::string, double> cpuTime;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
