// Demo stand-in for the song service's video player.
(function () {
    var poster = 'http://qiniuuserphoto.changba.com/head/640/90125533_640.jpg';
    document.write('<div style="width:640px;height:360px;background:#123 url(' + poster +
        ') center/cover;color:#fff;display:flex;align-items:flex-end;'
        + 'justify-content:center;font:16px sans-serif">'
        + '<p style="background:rgba(0,0,0,.5);padding:6px 12px">\u5531\u5427\u6f14\u793a\u64ad\u653e\u5668\uff1a\u6f14\u793a\u670d\u52a1\u6ca1\u6709\u89c6\u9891\uff0c\u4e0b\u9762\u64ad\u653e\u4e00\u6bb5\u97f3\u9891</p></div>'
        + '<audio controls src="http://lzscuw.changba.com/84263517.mp3"></audio>');
})();
