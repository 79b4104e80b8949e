// SPDX-License-Identifier: GPL-3.0-or-later
#include "recognition/quantizedlayer.h"

#include <algorithm>
#include <cmath>

QuantizedLayer QuantizedLayer::fromFloat(const float *weights, const float *bias, int outputs, int inputs)
{
    QuantizedLayer layer;
    if (outputs <= 0 || inputs <= 0)
        return layer;
    const size_t in = size_t(inputs), out = size_t(outputs);
    layer.m_weights.resize(in * out);
    layer.m_scale.resize(out);
    layer.m_bias.assign(bias, bias + out);
    for (size_t o = 0; o < out; ++o) {
        const float *row = weights + o * in;
        float largest = 0;
        for (size_t i = 0; i < in; ++i) {
            if (!std::isfinite(row[i]))
                return {};
            largest = std::max(largest, std::fabs(row[i]));
        }
        if (!std::isfinite(bias[o]))
            return {};
        const float scale = largest / 127.0f;
        layer.m_scale[o] = scale;
        for (size_t i = 0; i < in; ++i)
            layer.m_weights[i * out + o] = scale > 0 ? int8_t(std::lround(row[i] / scale)) : int8_t(0);
    }
    layer.m_inputs = inputs;
    layer.m_outputs = outputs;
    return layer;
}

size_t QuantizedLayer::bytes() const
{
    return m_weights.size() + (m_scale.size() + m_bias.size()) * sizeof(float);
}

void QuantizedLayer::apply(const float *x, float *y) const
{
    const size_t out = size_t(m_outputs);
    std::fill(y, y + out, 0.0f);
    for (size_t i = 0; i < size_t(m_inputs); ++i) {
        const float v = x[i];
        if (v == 0.0f)
            continue;
        const int8_t *w = m_weights.data() + i * out;
        for (size_t o = 0; o < out; ++o)
            y[o] += v * float(w[o]);
    }
    for (size_t o = 0; o < out; ++o)
        y[o] = y[o] * m_scale[o] + m_bias[o];
}
