'use strict';
// The review and sheet pages: their one button prints them.
document.getElementById('printnow').addEventListener('click', () => window.print());
