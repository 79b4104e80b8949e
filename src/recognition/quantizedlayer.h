// SPDX-License-Identifier: GPL-3.0-or-later
// A fully connected layer of the ink model kept in eight bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// y = W x + b with each output's weights scaled to -127..127 by the largest
// of them: a quarter of the memory of the float layer (the ink model's two
// such layers are nine tenths of its weights). The model's log-probabilities
// move by a few hundredths at most.
class QuantizedLayer
{
public:
    QuantizedLayer() = default;
    // `weights` outputs x inputs, row-major, as the network keeps them.
    // Empty when a weight or bias is not a finite number.
    static QuantizedLayer fromFloat(const float *weights, const float *bias, int outputs, int inputs);

    bool isEmpty() const { return m_outputs == 0; }
    int inputs() const { return m_inputs; }
    int outputs() const { return m_outputs; }
    size_t bytes() const;

    // `x` has inputs() values, `y` room for outputs(). Inputs that are zero
    // (most after a ReLU) cost nothing.
    void apply(const float *x, float *y) const;

private:
    int m_inputs = 0;
    int m_outputs = 0;
    // inputs x outputs: one input's weights for every output side by side,
    // so that adding an input in is one pass the compiler vectorises.
    std::vector<int8_t> m_weights;
    std::vector<float> m_scale;
    std::vector<float> m_bias;
};
