// webgl.js -- the WebGL 2 side of the web graphics layer (gl.cpp).
//
// One program draws every lit primitive: positions and normals arrive in eye
// coordinates, the vertex shader projects them and lights each vertex by the
// GL 1.x lighting equation (two lights, colour material, one-sided, no local
// viewer), and the colour is interpolated across the primitive. A second
// program copies a picture to the canvas pixel for pixel (glDrawPixels).
mergeInto(LibraryManager.library, {
  $WebGLState: {
    gl: null,
    lit: null,
    blit: null,
    vao: null,
    vertexBuffer: null,
    indexBuffer: null,
    blitVao: null,
    texture: null,
    width: 0,
    height: 0,
    viewport: [0, 0, 0, 0],
    depthTest: false,
    depthFunc: 0x0201,
    blend: false,
  },

  webglCreate__deps: ['$WebGLState'],
  webglCreate: function() {
    if (WebGLState.gl) return 1;            // made ahead by webglWarmUp, state untouched since
    var canvas = Module['canvas'] || document.getElementById('canvas');
    var gl = canvas && canvas.getContext('webgl2', {
      alpha: false, depth: true, stencil: false, antialias: false,
      premultipliedAlpha: false, preserveDrawingBuffer: false,
    });
    if (!gl) return 0;
    var S = WebGLState;
    S.gl = gl;

    function program(vs, fs) {
      function shader(type, src) {
        var s = gl.createShader(type);
        gl.shaderSource(s, src);
        gl.compileShader(s);
        if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
        return s;
      }
      var p = gl.createProgram();
      gl.attachShader(p, shader(gl.VERTEX_SHADER, vs));
      gl.attachShader(p, shader(gl.FRAGMENT_SHADER, fs));
      gl.linkProgram(p);
      if (!gl.getProgramParameter(p, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(p));
      return p;
    }

    // uState (see packState in gl.cpp), twenty vec4:
    //   [0]  lighting, colour material, shininess     [1..4] material ambient, diffuse, specular, emission
    //   [5]  scene ambient
    //   light i at 6 + 6 i: [+0] on, spot exponent, cos cut-off (-2: none)
    //   [+1..+3] ambient, diffuse, specular  [+4] position  [+5] spot direction
    //   [18 + i] attenuation: constant, linear, quadratic
    var litVs = [
      '#version 300 es',
      'layout(location = 0) in vec3 aPosition;',
      'layout(location = 1) in vec3 aNormal;',
      'layout(location = 2) in vec4 aColor;',
      'uniform mat4 uProjection;',
      'uniform vec4 uState[20];',
      'out vec4 vColor;',
      'void main() {',
      '  gl_Position = uProjection * vec4(aPosition, 1.0);',
      '  if (uState[0].x == 0.0) { vColor = aColor; return; }',
      '  bool colorMaterial = uState[0].y != 0.0;',
      '  float shininess = uState[0].z;',
      '  vec4 ambient = colorMaterial ? aColor : uState[1];',
      '  vec4 diffuse = colorMaterial ? aColor : uState[2];',
      '  vec3 c = uState[4].rgb + ambient.rgb * uState[5].rgb;',
      '  for (int i = 0; i < 2; i++) {',
      '    int b = 6 + 6 * i;',
      '    if (uState[b].x == 0.0) continue;',
      '    vec4 p = uState[b + 4];',
      '    vec3 vp; float att = 1.0;',
      '    if (p.w != 0.0) {',
      '      vp = p.xyz / p.w - aPosition;',
      '      float d = length(vp);',
      '      vec3 k = uState[18 + i].xyz;',
      '      att = 1.0 / (k.x + k.y * d + k.z * d * d);',
      '    } else {',
      '      vp = p.xyz;',
      '    }',
      '    vp = normalize(vp);',
      '    float spot = 1.0;',
      '    float cosCutoff = uState[b].z;',
      '    if (cosCutoff > -1.5) {',
      '      float s = dot(-vp, normalize(uState[b + 5].xyz));',
      '      spot = s >= cosCutoff ? pow(max(s, 0.0), uState[b].y) : 0.0;',
      '    }',
      '    float nl = dot(aNormal, vp);',
      '    vec3 term = ambient.rgb * uState[b + 1].rgb;',
      '    if (nl > 0.0) {',
      '      term += nl * diffuse.rgb * uState[b + 2].rgb;',
      '      vec3 h = normalize(vp + vec3(0.0, 0.0, 1.0));',
      '      float nh = max(dot(aNormal, h), 0.0);',
      '      float f = shininess == 0.0 ? 1.0 : pow(nh, shininess);',
      '      term += f * uState[3].rgb * uState[b + 3].rgb;',
      '    }',
      '    c += att * spot * term;',
      '  }',
      '  vColor = vec4(clamp(c, 0.0, 1.0), clamp(diffuse.a, 0.0, 1.0));',
      '}',
    ].join('\n');
    var litFs = [
      '#version 300 es',
      'precision highp float;',
      'in vec4 vColor;',
      'out vec4 fragColor;',
      'void main() { fragColor = vColor; }',
    ].join('\n');
    S.lit = program(litVs, litFs);
    S.litProjection = gl.getUniformLocation(S.lit, 'uProjection');
    S.litState = gl.getUniformLocation(S.lit, 'uState');

    // The picture's texel for every window pixel the picture covers.
    var blitVs = [
      '#version 300 es',
      'uniform vec2 uScale;',
      'void main() {',
      '  vec2 corner = vec2(float(gl_VertexID & 1), float(gl_VertexID >> 1));',
      '  gl_Position = vec4(corner * uScale - 1.0, -1.0, 1.0);',
      '}',
    ].join('\n');
    var blitFs = [
      '#version 300 es',
      'precision highp float;',
      'uniform highp sampler2D uPicture;',
      'out vec4 fragColor;',
      'void main() { fragColor = texelFetch(uPicture, ivec2(gl_FragCoord.xy), 0); }',
    ].join('\n');
    S.blit = program(blitVs, blitFs);
    S.blitScale = gl.getUniformLocation(S.blit, 'uScale');

    S.vao = gl.createVertexArray();
    gl.bindVertexArray(S.vao);
    S.vertexBuffer = gl.createBuffer();
    S.indexBuffer = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, S.vertexBuffer);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, S.indexBuffer);
    gl.enableVertexAttribArray(0);
    gl.enableVertexAttribArray(1);
    gl.enableVertexAttribArray(2);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 40, 0);
    gl.vertexAttribPointer(1, 3, gl.FLOAT, false, 40, 12);
    gl.vertexAttribPointer(2, 4, gl.FLOAT, false, 40, 24);
    S.blitVao = gl.createVertexArray();
    S.texture = gl.createTexture();
    gl.bindVertexArray(null);

    // GL's initial state, where WebGL's differs.
    gl.disable(gl.DEPTH_TEST);
    gl.disable(gl.BLEND);
    gl.disable(gl.DITHER);
    gl.depthFunc(gl.LESS);
    gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
    return 1;
  },

  // Before the start button is clicked: the context is made and a triangle
  // and a line are drawn with the show's program, with and without the depth
  // test, so that the renderer has compiled what the first frame needs
  // (SwiftShader builds its routines at the first draw of each kind). The
  // canvas is not on view yet; GL's initial state is put back, and the show
  // starts from it as from a new context.
  webglWarmUp__deps: ['$WebGLState', 'webglCreate'],
  webglWarmUp: function() {
    if (!_webglCreate()) return 0;
    var S = WebGLState, gl = S.gl;
    var vertex = [-0.5, -0.5, -0.5, 0, 0, 1, 1, 1, 1, 1,
                  0.5, -0.5, -0.5, 0, 0, 1, 1, 1, 1, 1,
                  0, 0.5, -0.5, 0, 0, 1, 1, 1, 1, 1];
    var state = new Float32Array(80);
    state[0] = 1;                            // lit, with colour material
    state[1] = 1;
    state[6] = 1;                            // light 0 on, no spot
    state[8] = -2;
    var identity = new Float32Array([1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1]);
    gl.useProgram(S.lit);
    gl.uniformMatrix4fv(S.litProjection, false, identity);
    gl.uniform4fv(S.litState, state);
    gl.bindVertexArray(S.vao);
    gl.bindBuffer(gl.ARRAY_BUFFER, S.vertexBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, new Float32Array(vertex), gl.STREAM_DRAW);
    gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, new Uint16Array([0, 1, 2, 0, 1]), gl.STREAM_DRAW);
    [false, true].forEach(function (depth) {
      if (depth) gl.enable(gl.DEPTH_TEST); else gl.disable(gl.DEPTH_TEST);
      gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
      gl.drawElements(gl.TRIANGLES, 3, gl.UNSIGNED_SHORT, 0);
      gl.drawElements(gl.LINES, 2, gl.UNSIGNED_SHORT, 6);
    });
    gl.bindVertexArray(null);
    gl.disable(gl.DEPTH_TEST);
    gl.depthFunc(gl.LESS);
    gl.clearColor(0, 0, 0, 0);
    gl.clearDepth(1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    gl.flush();
    return 1;
  },

  webglCanvasSize__deps: ['$WebGLState'],
  webglCanvasSize: function(width, height) {
    var S = WebGLState;
    var canvas = S.gl.canvas;
    if (canvas.width != width) canvas.width = width;
    if (canvas.height != height) canvas.height = height;
    S.width = width;
    S.height = height;
  },

  webglViewport__deps: ['$WebGLState'],
  webglViewport: function(x, y, w, h) {
    WebGLState.viewport = [x, y, w, h];
    WebGLState.gl.viewport(x, y, w, h);
  },

  webglClear__deps: ['$WebGLState'],
  webglClear: function(mask, r, g, b, a, depth) {
    var gl = WebGLState.gl;
    gl.clearColor(r, g, b, a);
    gl.clearDepth(depth);
    gl.clear(mask & (gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT));
  },

  webglCapability__deps: ['$WebGLState'],
  webglCapability: function(cap, on) {
    var gl = WebGLState.gl;
    if (cap == gl.DEPTH_TEST) WebGLState.depthTest = !!on;
    if (cap == gl.BLEND) WebGLState.blend = !!on;
    if (on) gl.enable(cap); else gl.disable(cap);
  },

  webglDepthFunc__deps: ['$WebGLState'],
  webglDepthFunc: function(func) {
    WebGLState.depthFunc = func;
    WebGLState.gl.depthFunc(func);
  },

  webglBlendFunc__deps: ['$WebGLState'],
  webglBlendFunc: function(src, dst) {
    WebGLState.gl.blendFunc(src, dst);
  },

  webglDraw__deps: ['$WebGLState'],
  webglDraw: function(lines, vertices, vertexCount, indices, indexCount, projection, state) {
    var S = WebGLState, gl = S.gl;
    gl.useProgram(S.lit);
    gl.uniformMatrix4fv(S.litProjection, false, HEAPF32.subarray(projection >> 2, (projection >> 2) + 16));
    gl.uniform4fv(S.litState, HEAPF32.subarray(state >> 2, (state >> 2) + 80));
    gl.bindVertexArray(S.vao);
    gl.bindBuffer(gl.ARRAY_BUFFER, S.vertexBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, HEAPF32.subarray(vertices >> 2, (vertices >> 2) + vertexCount * 10), gl.STREAM_DRAW);
    gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, HEAPU16.subarray(indices >> 1, (indices >> 1) + indexCount), gl.STREAM_DRAW);
    gl.drawElements(lines ? gl.LINES : gl.TRIANGLES, indexCount, gl.UNSIGNED_SHORT, 0);
    gl.bindVertexArray(null);
  },

  // The picture lands at the canvas's lower-left corner whatever the
  // viewport; the depth test passes (the raster position's depth is 0).
  webglDrawPixels__deps: ['$WebGLState'],
  webglDrawPixels: function(width, height, rgba, stride) {
    var S = WebGLState, gl = S.gl;
    var rowLength = stride / 4;
    gl.bindTexture(gl.TEXTURE_2D, S.texture);
    gl.pixelStorei(gl.UNPACK_ROW_LENGTH, rowLength);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8, width, height, 0, gl.RGBA, gl.UNSIGNED_BYTE,
                  HEAPU8.subarray(rgba, rgba + stride * height));
    gl.pixelStorei(gl.UNPACK_ROW_LENGTH, 0);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
    gl.useProgram(S.blit);
    gl.uniform2f(S.blitScale, 2 * width / S.width, 2 * height / S.height);
    gl.viewport(0, 0, S.width, S.height);
    gl.disable(gl.BLEND);
    gl.depthFunc(gl.ALWAYS);
    gl.bindVertexArray(S.blitVao);
    gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
    gl.bindVertexArray(null);
    gl.depthFunc(S.depthFunc);
    if (S.blend) gl.enable(gl.BLEND);
    var v = S.viewport;
    gl.viewport(v[0], v[1], v[2], v[3]);
  },

  // The main loop's animation frames go through the page's pacer
  // (pacer.js): the loop asks for its next frame here, and the pacer runs it
  // in the first animation frame that is due. Without the pacer (the page
  // did not load it) every animation frame runs a frame.
  // webglPacedNow: a frame drawn now, outside the animation frames (the
  // first, in the click), from which the pacer counts the next moments.
  $WebGLPacer: { pacer: null },
  webglPaceFrames__deps: ['$Browser', '$WebGLPacer'],
  webglPaceFrames: function(fps) {
    if (typeof DemoPacer === 'undefined') return;
    var pacer = WebGLPacer.pacer = DemoPacer.create(fps);
    Browser.requestAnimationFrame = function(func) { pacer.request(func); };
  },

  webglPacedNow__deps: ['$WebGLPacer'],
  webglPacedNow: function() {
    if (WebGLPacer.pacer) WebGLPacer.pacer.due(performance.now());
  },

  webglReadPixels__deps: ['$WebGLState'],
  webglReadPixels: function(x, y, width, height, rgba) {
    var gl = WebGLState.gl;
    gl.readPixels(x, y, width, height, gl.RGBA, gl.UNSIGNED_BYTE, HEAPU8.subarray(rgba, rgba + width * height * 4));
  },
});
