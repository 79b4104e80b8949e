# SPDX-License-Identifier: GPL-3.0-or-later
# The network: three blocks of two 3x3 convolutions over the ink raster, then
# a small fully connected head.
import torch
from torch import nn

import raster


def _block(cin, cout):
    return nn.Sequential(
        nn.Conv2d(cin, cout, 3, padding=1, bias=False), nn.BatchNorm2d(cout), nn.ReLU(inplace=True),
        nn.Conv2d(cout, cout, 3, padding=1, bias=False), nn.BatchNorm2d(cout), nn.ReLU(inplace=True),
        nn.MaxPool2d(2))


class InkNet(nn.Module):
    def __init__(self, classes, widths=(16, 32, 64), hidden=256, side=None):
        super().__init__()
        a, b, c = widths
        self.features = nn.Sequential(_block(raster.CHANNELS, a), _block(a, b), _block(b, c))
        side = (side or raster.SIDE) // 8
        self.head = nn.Sequential(
            nn.Flatten(), nn.Dropout(0.3), nn.Linear(c * side * side, hidden), nn.ReLU(inplace=True),
            nn.Dropout(0.3), nn.Linear(hidden, classes))

    def forward(self, x):
        return self.head(self.features(x))
