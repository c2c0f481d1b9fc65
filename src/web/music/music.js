// music.js -- PLACEHOLDER, replaced by the real player from the music work.
//
// It has the DemoMusic interface the page and sound.cpp use, and stays
// silent: prepare() resolves at once, load() reports that there is no music.
(function () {
  var DemoMusic = {
    onMessage: function (line) {},
    prepare: function (moduleUrl) {
      return Promise.resolve();
    },
    init: function (rate) { return false; },
    load: function (name) { return false; },
    play: function () {},
    stop: function () {},
    close: function () {},
  };
  window.DemoMusic = DemoMusic;
})();
